// SPDX-License-Identifier: Apache-2.0
#include "DriverSession.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include "Output.h"
#include "trevalon/local/Paths.h"

namespace kelvo::cli {
namespace {

// A reader request may take several radio exchanges; this only ends the wait for a driver that hangs.
constexpr int kAnswerTimeoutSeconds = 30;

std::nullopt_t failed(const std::string& message) {
  Output::error(message);
  return std::nullopt;
}

}  // namespace

DriverSession::DriverSession() : runtimeDirectory(trevalon::local::Paths::runtimeDirectory()) {}

std::vector<std::string> DriverSession::addresses() const {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(runtimeDirectory, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kSocketPrefix, 0) == 0 && entry.is_socket(error))
      found.push_back(name.substr(std::strlen(kSocketPrefix)));
  }
  std::sort(found.begin(), found.end());
  return found;
}

bool DriverSession::driverRunning() const {
  const std::string marker = runtimeDirectory + "/" + kRunningMarker;
  const int probe = ::open(marker.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (probe < 0) return false;
  const bool held = ::flock(probe, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(probe);
  return held;
}

bool DriverSession::serves(const std::string& address) const {
  std::error_code error;
  return std::filesystem::is_socket(socketOf(address), error) ||
         std::filesystem::is_socket(runtimeDirectory + "/" + kCardSocketPrefix + address, error);
}

std::string DriverSession::socketOf(const std::string& address) const {
  return runtimeDirectory + "/" + kSocketPrefix + address;
}

std::optional<std::vector<uint8_t>> DriverSession::exchange(const std::string& address, uint8_t code,
                                                            const std::vector<uint8_t>& payload) const {
  std::string problem;
  auto answer = exchangeReporting(address, code, payload, problem);
  if (!answer) return failed(problem);
  return answer;
}

std::optional<std::vector<uint8_t>> DriverSession::exchangeQuietly(const std::string& address, uint8_t code,
                                                                   const std::vector<uint8_t>& payload) const {
  std::string ignored;
  return exchangeReporting(address, code, payload, ignored);
}

std::optional<std::vector<uint8_t>> DriverSession::exchangeReporting(const std::string& address, uint8_t code,
                                                                     const std::vector<uint8_t>& payload,
                                                                     std::string& problem) const {
  if (payload.size() + 1 > kMaxMessage) {
    problem = "request of " + std::to_string(payload.size() + 1) + " bytes is too large";
    return std::nullopt;
  }
  const std::string path = socketOf(address);
  sockaddr_un socketAddress{};
  if (path.size() >= sizeof(socketAddress.sun_path)) {
    problem = "socket path too long: " + path;
    return std::nullopt;
  }
  socketAddress.sun_family = AF_UNIX;
  std::memcpy(socketAddress.sun_path, path.c_str(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    problem = std::string("cannot create a socket: ") + std::strerror(errno);
    return std::nullopt;
  }
  const timeval limit{kAnswerTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
  std::vector<uint8_t> request{code};
  request.insert(request.end(), payload.begin(), payload.end());
  std::vector<uint8_t> answer(kMaxMessage + 1);
  size_t received = 0;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&socketAddress), sizeof(socketAddress)) != 0) {
    problem = errno == ENOENT ? "the driver serves no reader " + address
                              : "cannot reach the driver at " + path + ": " + std::strerror(errno);
  } else if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()) ||
             ::shutdown(fd, SHUT_WR) != 0) {
    problem = std::string("cannot send the request: ") + std::strerror(errno);
  } else {
    for (ssize_t count; (count = ::recv(fd, answer.data() + received, answer.size() - received, 0)) != 0;) {
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) {
        problem = std::string("no answer from the driver: ") + std::strerror(errno);
        break;
      }
      received += static_cast<size_t>(count);
      if (received == answer.size()) {
        problem = "the driver's answer is larger than " + std::to_string(kMaxMessage) + " bytes";
        break;
      }
    }
    if (problem.empty() && received == 0) problem = "the driver closed the connection without an answer";
  }
  ::close(fd);
  if (!problem.empty()) return std::nullopt;
  answer.resize(received);
  return answer;
}

}  // namespace kelvo::cli
