// SPDX-License-Identifier: Apache-2.0
// A client of a driver socket running as another user: started as root, it drops to the given uid and gid (with
// no supplementary groups) before it touches the socket, so the driver sees that user's credentials.
//
//   kelvo-driver-peer-client UID GID SOCKET exchange HEX   one request; prints the answer in hex, or "none"
//   kelvo-driver-peer-client UID GID SOCKET hold N         opens N silent connections; prints, for each, the status
//                                                           the driver answered at once or "held", then keeps them
//                                                           open until its standard input closes

#include <grp.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "RawClient.h"

namespace {

using kelvo::test::RawClient;

bool dropTo(uid_t uid, gid_t gid) {
  if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0) {
    std::perror("kelvo-driver-peer-client: dropping privileges");
    return false;
  }
  return ::getuid() == uid && ::geteuid() == uid && ::getgid() == gid && ::getegid() == gid;
}

std::vector<uint8_t> fromHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string toHex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char digits[3];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof(digits), "%02x", byte);
    text += digits;
  }
  return text;
}

int exchange(const std::string& socket, const std::string& hex) {
  const auto answer = RawClient::exchange(socket, fromHex(hex), std::chrono::seconds(20));
  std::printf("%s\n", answer ? toHex(*answer).c_str() : "none");
  return 0;
}

int hold(const std::string& socket, int count) {
  std::vector<int> connections;
  for (int i = 0; i < count; ++i) connections.push_back(RawClient::connectTo(socket));
  std::string report;
  for (int fd : connections) {
    // A turned-away connection has its status and the close waiting at once; a held one stays silent.
    const auto answer = fd >= 0 ? RawClient::readToEnd(fd, std::chrono::milliseconds(300)) : std::nullopt;
    report += fd < 0 ? "failed" : !answer ? "held" : answer->empty() ? "closed" : std::to_string(int{(*answer)[0]});
    report += ' ';
  }
  std::printf("%s\n", report.c_str());
  std::fflush(stdout);
  char ignored[64];
  while (::read(STDIN_FILENO, ignored, sizeof(ignored)) > 0) {
  }
  for (int fd : connections) {
    if (fd >= 0) ::close(fd);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: kelvo-driver-peer-client UID GID SOCKET exchange HEX | hold N\n");
    return 2;
  }
  const auto uid = static_cast<uid_t>(std::strtoul(argv[1], nullptr, 10));
  const auto gid = static_cast<gid_t>(std::strtoul(argv[2], nullptr, 10));
  if (!dropTo(uid, gid)) return 3;
  const std::string mode = argv[4];
  if (mode == "exchange") return exchange(argv[3], argv[5]);
  if (mode == "hold") return hold(argv[3], std::atoi(argv[5]));
  return 2;
}
