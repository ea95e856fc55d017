// SPDX-License-Identifier: Apache-2.0
#include "trevalon/local/FileSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::local {
namespace {

// Stored values are small (serials, keys, paths); anything larger is not ours.
constexpr off_t kMaxValueSize = 1 << 20;
const char kPrivateSuffix[] = "_private";

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
  int get() const { return fd; }

 private:
  int fd;
};

bool writeAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

FileSettings::FileSettings(std::string directory) : root(std::move(directory)) {}

bool FileSettings::isValidName(const std::string& name) {
  // A leading dot is refused too: hidden names are the store's temporary files.
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos && name.find("..") == std::string::npos;
}

bool FileSettings::checkName(const std::string& name) const {
  if (isValidName(name)) {
    return true;
  }
  TREVALON_LOG(error, "Setting name \"%s\" is not allowed", name.c_str());
  return false;
}

bool FileSettings::openDirectory(int& fd) const {
  fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    TREVALON_LOG(error, "open of settings directory %s failed with %i (%s)", root.c_str(), error, std::strerror(error));
    return false;
  }
  return true;
}

std::shared_ptr<std::vector<uint8_t>> FileSettings::get_raw(const std::string& name) {
  TREVALON_TRACE_QUIET();
  int dirFd = -1;
  if (!checkName(name) || !openDirectory(dirFd)) {
    return nullptr;
  }
  FileDescriptor directory(dirFd);
  FileDescriptor file(::openat(directory.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    const int error = file.get() < 0 ? errno : EINVAL;
    TREVALON_LOG(error, "reading setting %s failed with %i (%s)", name.c_str(), error, std::strerror(error));
    return nullptr;
  }
  if (info.st_size > kMaxValueSize) {
    TREVALON_LOG(error, "reading setting %s failed: %lld bytes is too large", name.c_str(),
                 static_cast<long long>(info.st_size));
    return nullptr;
  }
  auto bytes = std::make_shared<std::vector<uint8_t>>();
  uint8_t chunk[4096];
  for (;;) {
    const ssize_t n = ::read(file.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      TREVALON_LOG(error, "reading setting %s failed with %i (%s)", name.c_str(), error, std::strerror(error));
      return nullptr;
    }
    if (n == 0) break;
    bytes->insert(bytes->end(), chunk, chunk + n);
    if (bytes->size() > static_cast<size_t>(kMaxValueSize)) {
      TREVALON_LOG(error, "reading setting %s failed: value grew too large", name.c_str());
      return nullptr;
    }
  }
  return bytes;
}

bool FileSettings::isset(const std::string& name) {
  TREVALON_TRACE_QUIET();
  int dirFd = -1;
  if (!checkName(name) || !openDirectory(dirFd)) {
    return false;
  }
  FileDescriptor directory(dirFd);
  struct stat info {};
  return ::fstatat(directory.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
}

// True when the value's file holds exactly `bytes` with `mode`: a regular file, reached without a link.
bool FileSettings::holdsAlready(int directoryFd, const std::string& name, const std::vector<uint8_t>& bytes,
                                mode_t mode) {
  FileDescriptor file(::openat(directoryFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & 07777) != mode ||
      static_cast<size_t>(info.st_size) != bytes.size()) {
    return false;
  }
  std::vector<uint8_t> stored(bytes.size() + 1);
  size_t got = 0;
  for (ssize_t count;
       got < stored.size() && (count = ::read(file.get(), stored.data() + got, stored.size() - got)) != 0;) {
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    got += static_cast<size_t>(count);
  }
  return got == bytes.size() && std::equal(bytes.begin(), bytes.end(), stored.begin());
}

bool FileSettings::set_raw(const std::string& name, const std::vector<uint8_t>& bytes) {
  TREVALON_TRACE();
  int dirFd = -1;
  if (!checkName(name) || !openDirectory(dirFd)) {
    return false;
  }
  FileDescriptor directory(dirFd);
  const mode_t mode = endsWith(name, kPrivateSuffix) ? 0600 : 0644;
  // A value stored as it is costs no write and no fsync (a connection stores several values each time).
  if (holdsAlready(directory.get(), name, bytes, mode)) return true;
  // Write a hidden temporary file beside the value and rename it over: readers (the driver, the application)
  // see the old value or the new one, never a torn one.
  std::string temporary = "." + name + ".XXXXXX";
  std::string temporaryPath = root + "/" + temporary;
  std::vector<char> pathBuffer(temporaryPath.begin(), temporaryPath.end());
  pathBuffer.push_back('\0');
  FileDescriptor file(::mkostemp(pathBuffer.data(), O_CLOEXEC));
  if (file.get() < 0) {
    const int error = errno;
    TREVALON_LOG(error, "writing setting %s failed with %i (%s)", name.c_str(), error, std::strerror(error));
    return false;
  }
  temporaryPath.assign(pathBuffer.data());
  const bool written = ::fchmod(file.get(), mode) == 0 && writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 &&
                       ::rename(temporaryPath.c_str(), (root + "/" + name).c_str()) == 0;
  if (!written) {
    const int error = errno;
    ::unlink(temporaryPath.c_str());
    TREVALON_LOG(error, "writing setting %s failed with %i (%s)", name.c_str(), error, std::strerror(error));
    return false;
  }
  ::fsync(directory.get());
  return true;
}

bool FileSettings::unset(const std::string& name) {
  TREVALON_TRACE_QUIET();
  int dirFd = -1;
  if (!checkName(name) || !openDirectory(dirFd)) {
    return false;
  }
  FileDescriptor directory(dirFd);
  if (::unlinkat(directory.get(), name.c_str(), 0) != 0) {
    const int error = errno;
    TREVALON_LOG(error, "removing setting %s failed with %i (%s)", name.c_str(), error, std::strerror(error));
    return false;
  }
  return true;
}

}  // namespace trevalon::local
