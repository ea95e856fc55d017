// SPDX-License-Identifier: Apache-2.0
#include "DriverControl.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

namespace kelvo::campaign {

DriverControl::DriverControl(std::string fifo) : fifo(std::move(fifo)) {}

bool DriverControl::send(const std::string& command) {
  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const std::string line = command + "\n";
  const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  ::close(fd);
  return written;
}

// Only whole lines count: the driver may be halfway through writing the next one.
size_t DriverControl::answerLines(std::string* last) const {
  std::ifstream answers(fifo + ".out");
  const std::string text((std::istreambuf_iterator<char>(answers)), std::istreambuf_iterator<char>());
  size_t count = 0;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    ++count;
    if (last != nullptr) *last = text.substr(start, end - start);
  }
  return count;
}

std::optional<std::string> DriverControl::run(const std::string& command, std::chrono::milliseconds limit) {
  // Commands are answered one by one in order and only the campaign sends any: the next new line is ours.
  const size_t before = answerLines(nullptr);
  if (!send(command)) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    std::string last;
    if (answerLines(&last) > before) return last;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

}  // namespace kelvo::campaign
