// SPDX-License-Identifier: Apache-2.0
#include "AppcastWriter.h"

namespace {

const char kSparkleNamespace[] = "http://www.andymatuschak.org/xml-namespaces/sparkle";

std::string element(const std::string& name, const std::string& text) {
  return "      <" + name + ">" + AppcastWriter::escape(text) + "</" + name + ">\n";
}

}  // namespace

std::string AppcastWriter::escape(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string AppcastWriter::item(const Release& release) {
  std::string xml = "    <item>\n";
  xml += element("title", release.title.empty() ? "Firmware " + release.version : release.title);
  xml += element("sparkle:version", release.version);
  if (!release.shortVersion.empty()) xml += element("sparkle:shortVersionString", release.shortVersion);
  if (!release.notes.empty()) xml += element("description", release.notes);
  if (!release.notesLink.empty()) xml += element("sparkle:releaseNotesLink", release.notesLink);
  xml += "      <enclosure url=\"" + escape(release.url) + "\" length=\"" + std::to_string(release.length) +
         "\" type=\"application/zip\" sparkle:edSignature=\"" + escape(release.signature) + "\"/>\n";
  xml += "    </item>\n";
  return xml;
}

std::string AppcastWriter::feed(const std::string& title, const std::vector<std::string>& items) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  xml += std::string("<rss version=\"2.0\" xmlns:sparkle=\"") + kSparkleNamespace + "\">\n  <channel>\n";
  xml += "    <title>" + escape(title) + "</title>\n";
  for (const std::string& item : items) xml += item;
  xml += "  </channel>\n</rss>\n";
  return xml;
}
