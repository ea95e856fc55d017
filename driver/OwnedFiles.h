// SPDX-License-Identifier: Apache-2.0
#pragma once
// Files and directories the driver makes in places where someone else might have been first: made and opened
// without following a symbolic link in their last component, and used only when they belong to the driver's own
// uid. The driver runs as root, so a link planted there would otherwise let a local user have root create, chmod
// or append to a file of the user's choice. Failures come back as a sentence for the caller to log: the log file
// itself is one of these files, and its writer must not log into itself.

#include <sys/types.h>

#include <optional>
#include <string>

namespace kelvo::driver {

class OwnedFiles {
 public:
  // Makes the directory (and missing parents) or takes the existing one, then gives it `mode`. Refused: a
  // symbolic link, something that is not a directory, another owner, write access for all or for a group other
  // than the driver's own (such a directory may hold someone else's links already).
  static bool prepareDirectory(const std::string& path, mode_t mode, std::string& failure);
  // Makes room for a socket at `path`: nothing there, or a socket of ours left by an earlier run, which is removed.
  // Anything else (a link, another kind of file, someone else's socket) is left in place and refused.
  static bool clearSocketPath(const std::string& path, std::string& failure);
  // chmod that never acts through a symbolic link.
  static bool setModeOf(const std::string& path, mode_t mode, std::string& failure);
  // A file of ours opened for appending, made with `mode` if missing, never through a symbolic link. An existing
  // file gets `mode` and, when given, `group`, so a file left looser by an earlier version is tightened; when the
  // group cannot be given, the group's bits are cleared instead. -1 when the file cannot be used.
  static int openForAppend(const std::string& path, mode_t mode, std::optional<gid_t> group, std::string& failure);
  // Gives an existing file of ours `mode` and `group`; nothing there is fine.
  static bool tighten(const std::string& path, mode_t mode, std::optional<gid_t> group, std::string& failure);

 private:
  static bool isOurs(int fd, const std::string& path, mode_t kind, bool refuseWritableByOthers, std::string& failure);
  static bool applyModeAndGroup(int fd, const std::string& path, mode_t mode, std::optional<gid_t> group,
                                std::string& failure);
};

}  // namespace kelvo::driver
