// SPDX-License-Identifier: Apache-2.0
#include "firmware/Appcast.h"

#include <QXmlStreamReader>

#include <trevalon/firmware/FirmwareVersion.h>

namespace {

const QString kSparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

// A package for this system: no os attribute, or one that names Linux.
bool meantForThisSystem(const QXmlStreamAttributes& attributes) {
  const QStringRef os = attributes.value(kSparkleNamespace, QStringLiteral("os"));
  return os.isEmpty() || os.compare(QLatin1String("linux"), Qt::CaseInsensitive) == 0;
}

void readEnclosure(const QXmlStreamAttributes& attributes, const QUrl& feedUrl, Appcast::Release& release) {
  if (!meantForThisSystem(attributes)) return;
  release.packageUrl = feedUrl.resolved(QUrl(attributes.value(QStringLiteral("url")).toString().trimmed()));
  release.packageLength = attributes.value(QStringLiteral("length")).toLongLong();
  release.edSignature = attributes.value(kSparkleNamespace, QStringLiteral("edSignature")).toString().trimmed();
  // Older feeds carry the versions on the enclosure instead of in elements of their own.
  const QStringRef version = attributes.value(kSparkleNamespace, QStringLiteral("version"));
  if (!version.isEmpty() && release.version.isEmpty()) release.version = version.toString().trimmed();
  const QStringRef shortVersion = attributes.value(kSparkleNamespace, QStringLiteral("shortVersionString"));
  if (!shortVersion.isEmpty() && release.shortVersionString.isEmpty()) {
    release.shortVersionString = shortVersion.toString().trimmed();
  }
}

void readItemChild(QXmlStreamReader& xml, const QUrl& feedUrl, Appcast::Release& release) {
  const QStringRef name = xml.name();
  const bool sparkle = xml.namespaceUri() == kSparkleNamespace;
  if (name == QLatin1String("enclosure") && !sparkle) {
    readEnclosure(xml.attributes(), feedUrl, release);
    xml.skipCurrentElement();
  } else if (sparkle && name == QLatin1String("version")) {
    release.version = xml.readElementText().trimmed();
  } else if (sparkle && name == QLatin1String("shortVersionString")) {
    release.shortVersionString = xml.readElementText().trimmed();
  } else if (sparkle && name == QLatin1String("releaseNotesLink")) {
    release.releaseNotesLink = feedUrl.resolved(QUrl(xml.readElementText().trimmed()));
  } else if (!sparkle && name == QLatin1String("title")) {
    release.title = xml.readElementText().trimmed();
  } else if (!sparkle && name == QLatin1String("description")) {
    release.releaseNotes = xml.readElementText().trimmed();
  } else {
    xml.skipCurrentElement();
  }
}

bool complete(const Appcast::Release& release) {
  return !release.version.isEmpty() && release.packageUrl.isValid() && !release.packageUrl.isEmpty() &&
         !release.edSignature.isEmpty();
}

}  // namespace

bool Appcast::parse(const QByteArray& document, const QUrl& feedUrl, QString* error) {
  items.clear();
  QXmlStreamReader xml(document);
  bool sawChannel = false;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == QLatin1String("channel")) sawChannel = true;
    if (xml.name() != QLatin1String("item")) continue;
    Release release;
    while (xml.readNextStartElement()) readItemChild(xml, feedUrl, release);
    if (complete(release)) items.append(release);
  }
  if (xml.hasError()) {
    if (error) *error = QStringLiteral("The update feed is not valid XML: %1").arg(xml.errorString());
    items.clear();
    return false;
  }
  if (!sawChannel) {
    if (error) *error = QStringLiteral("The update feed has no channel");
    return false;
  }
  return true;
}

const Appcast::Release* Appcast::newestAbove(const QString& installedVersion) const {
  const trevalon::FirmwareVersion installed = trevalon::FirmwareVersion::parse(installedVersion.toStdString());
  const Release* newest = nullptr;
  trevalon::FirmwareVersion newestVersion = installed;
  for (const Release& release : items) {
    const trevalon::FirmwareVersion version = trevalon::FirmwareVersion::parse(release.version.toStdString());
    if (newestVersion < version) {
      newest = &release;
      newestVersion = version;
    }
  }
  return newest;
}
