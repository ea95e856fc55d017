// SPDX-License-Identifier: Apache-2.0
#pragma once
// Writes the update server's feed: one item per release, and the channel around them.

#include <cstdint>
#include <string>
#include <vector>

class AppcastWriter {
 public:
  struct Release {
    std::string version;
    std::string shortVersion;
    std::string title;
    std::string notes;      // description: shown as release notes
    std::string notesLink;  // sparkle:releaseNotesLink
    std::string url;        // where the package is published
    uint64_t length = 0;
    std::string signature;  // Base64 Ed25519 signature of the package
  };

  static std::string item(const Release& release);
  static std::string feed(const std::string& title, const std::vector<std::string>& items);
  static std::string escape(const std::string& text);
};
