// SPDX-License-Identifier: Apache-2.0
#include "PcscReaderList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "trevalon/common/Log.h"

namespace kelvo::driver {

PcscReaderList::PcscReaderList(std::string runtimeDirectory, std::string handlerPath)
    : runtimeDirectory(std::move(runtimeDirectory)), handlerPath(std::move(handlerPath)) {}

std::string PcscReaderList::path() const { return runtimeDirectory + "/" + kFileName; }

bool PcscReaderList::canCarry(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F || c == '#' || c == '"') return false;
  }
  return true;
}

bool PcscReaderList::clear() {
  std::lock_guard<std::mutex> guard(lock);
  entries.clear();
  return writeLocked();
}

bool PcscReaderList::add(const std::string& address, const std::string& friendlyName, const std::string& cardSocket) {
  if (!canCarry(cardSocket) || !canCarry(handlerPath)) {
    TREVALON_LOG(error, "the card socket %s or the handler %s cannot be named in pcscd's reader list",
                 cardSocket.c_str(), handlerPath.c_str());
    return false;
  }
  std::lock_guard<std::mutex> guard(lock);
  auto known = entries.find(address);
  if (known != entries.end() && known->second.friendlyName == friendlyName && known->second.cardSocket == cardSocket) {
    return true;  // the same set: pcscd is not restarted for nothing
  }
  entries[address] = Entry{friendlyName, cardSocket};
  return writeLocked();
}

bool PcscReaderList::remove(const std::string& address) {
  std::lock_guard<std::mutex> guard(lock);
  if (entries.erase(address) == 0) return true;
  return writeLocked();
}

std::string PcscReaderList::contentLocked() const {
  std::string content = "# The readers kelvo-driver serves now; it rewrites this file as readers come and go.\n";
  for (const auto& [address, entry] : entries) {
    content += "\nFRIENDLYNAME \"" + entry.friendlyName + "\"\nDEVICENAME " + entry.cardSocket + "\nLIBPATH " +
               handlerPath + "\nCHANNELID 0\n";
  }
  return content;
}

bool PcscReaderList::writeLocked() {
  const std::string target = path();
  const std::string temporary = target + ".new";
  // The runtime directory is the driver's own and nobody else may write to it, but a link at the temporary
  // name is still never followed and an old temporary file is replaced, not reused.
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    TREVALON_LOG(error, "cannot write %s: %s", temporary.c_str(), std::strerror(errno));
    return false;
  }
  const std::string content = contentLocked();
  bool written = ::fchmod(fd, 0644) == 0;
  size_t done = 0;
  while (written && done < content.size()) {
    const ssize_t count = ::write(fd, content.data() + done, content.size() - done);
    if (count < 0 && errno == EINTR) continue;
    written = count > 0;
    if (written) done += static_cast<size_t>(count);
  }
  written = ::close(fd) == 0 && written;
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    TREVALON_LOG(error, "cannot write %s: %s", target.c_str(), std::strerror(errno));
    ::unlink(temporary.c_str());
    return false;
  }
  TREVALON_LOG(info, "pcscd's reader list holds %zu reader(s)", entries.size());
  return true;
}

}  // namespace kelvo::driver
