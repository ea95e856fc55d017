// SPDX-License-Identifier: Apache-2.0
// kelvo-release: prepares firmware packages for the update server. It signs a package with the publisher's
// Ed25519 key and writes the feed items that announce it; Kelvo Central installs only packages whose signature
// verifies under the public key it was built with.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "AppcastWriter.h"
#include "ReleaseSigner.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  kelvo-release public-key KEY.pem\n"
    "      the Base64 public key to configure a build with (KELVO_FIRMWARE_PUBLIC_KEY_FILE)\n"
    "  kelvo-release sign KEY.pem PACKAGE.zip\n"
    "      the Base64 Ed25519 signature of the package\n"
    "  kelvo-release item --key KEY.pem --version V --url URL [--short-version S] [--title T]\n"
    "                     [--notes TEXT | --notes-file FILE] [--notes-link URL] PACKAGE.zip\n"
    "      the feed item announcing the package\n"
    "  kelvo-release feed [--title T] ITEM.xml...\n"
    "      the whole feed around the items (written by 'item'; - reads standard input)\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

int failed(const std::string& message) {
  std::cerr << "kelvo-release: " << message << "\n";
  return 1;
}

bool readFile(const std::string& path, std::string& contents) {
  if (path == "-") {
    contents.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

// "--name value" pairs and the remaining words, in order.
bool splitOptions(const std::vector<std::string>& words, std::map<std::string, std::string>& options,
                  std::vector<std::string>& rest) {
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i].rfind("--", 0) != 0) {
      rest.push_back(words[i]);
      continue;
    }
    if (i + 1 >= words.size()) return false;
    options[words[i].substr(2)] = words[i + 1];
    ++i;
  }
  return true;
}

int publicKey(const std::vector<std::string>& words) {
  if (words.size() != 1) return usage();
  ReleaseSigner signer;
  std::string error;
  std::string key;
  if (!signer.loadKey(words[0], error) || !signer.publicKey(key, error)) return failed(error);
  std::cout << key << "\n";
  return 0;
}

bool signPackage(const std::string& keyPath, const std::string& packagePath, std::string& signature, uint64_t& length,
                 std::string& error) {
  ReleaseSigner signer;
  std::string package;
  if (!signer.loadKey(keyPath, error)) return false;
  if (!readFile(packagePath, package)) {
    error = "cannot read " + packagePath;
    return false;
  }
  length = package.size();
  return signer.sign(std::vector<unsigned char>(package.begin(), package.end()), signature, error);
}

int sign(const std::vector<std::string>& words) {
  if (words.size() != 2) return usage();
  std::string signature;
  std::string error;
  uint64_t length = 0;
  if (!signPackage(words[0], words[1], signature, length, error)) return failed(error);
  std::cout << signature << "\n";
  return 0;
}

int item(const std::vector<std::string>& words) {
  std::map<std::string, std::string> options;
  std::vector<std::string> rest;
  if (!splitOptions(words, options, rest) || rest.size() != 1 || options["key"].empty() || options["version"].empty() ||
      options["url"].empty()) {
    return usage();
  }
  AppcastWriter::Release release;
  std::string error;
  if (!signPackage(options["key"], rest[0], release.signature, release.length, error)) return failed(error);
  release.version = options["version"];
  release.shortVersion = options["short-version"];
  release.title = options["title"];
  release.notes = options["notes"];
  release.notesLink = options["notes-link"];
  release.url = options["url"];
  if (!options["notes-file"].empty() && !readFile(options["notes-file"], release.notes)) {
    return failed("cannot read " + options["notes-file"]);
  }
  std::cout << AppcastWriter::item(release);
  return 0;
}

int feed(const std::vector<std::string>& words) {
  std::map<std::string, std::string> options;
  std::vector<std::string> rest;
  if (!splitOptions(words, options, rest)) return usage();
  std::vector<std::string> items;
  for (const std::string& path : rest) {
    std::string text;
    if (!readFile(path, text)) return failed("cannot read " + path);
    items.push_back(text);
  }
  std::cout << AppcastWriter::feed(options["title"].empty() ? "Kelvo Firmware" : options["title"], items);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  const std::vector<std::string> words(argv + 2, argv + argc);
  if (command == "public-key") return publicKey(words);
  if (command == "sign") return sign(words);
  if (command == "item") return item(words);
  if (command == "feed") return feed(words);
  return usage();
}
