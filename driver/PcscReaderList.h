// SPDX-License-Identifier: Apache-2.0
#pragma once
// The readers whose cards the driver serves, written for pcscd in its reader configuration syntax to
// `<runtime directory>/pcsc-readers.conf`. pcscd reads such a list only when it starts, so whoever runs pcscd
// restarts it when the file changes (docs/pcsc.md); the file therefore changes only when the set of readers does:
// entries sorted by address, written whole to a temporary file and renamed over the old one, so a reader of the
// file never sees half a list.

#include <map>
#include <mutex>
#include <string>

namespace kelvo::driver {

class PcscReaderList {
 public:
  static constexpr const char* kFileName = "pcsc-readers.conf";

  // `handlerPath` is the IFD handler each entry names; `cardSocketOf` the card socket of an address.
  PcscReaderList(std::string runtimeDirectory, std::string handlerPath);

  // Refuses what the reader configuration syntax cannot carry in a path: a blank or other control character, '#'
  // (a comment), '"'.
  static bool canCarry(const std::string& text);
  // Writes the empty list (at start, so a crashed driver's readers vanish, and at stop).
  bool clear();
  bool add(const std::string& address, const std::string& friendlyName, const std::string& cardSocket);
  bool remove(const std::string& address);
  std::string path() const;

 private:
  struct Entry {
    std::string friendlyName;
    std::string cardSocket;
  };

  bool writeLocked();
  std::string contentLocked() const;

  const std::string runtimeDirectory;
  const std::string handlerPath;
  std::mutex lock;
  std::map<std::string, Entry> entries;  // by address, so the file's order is stable
};

}  // namespace kelvo::driver
