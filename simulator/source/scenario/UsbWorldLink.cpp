// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/scenario/UsbWorldLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "trevalon/common/Log.h"

namespace kelvo::simulator {

namespace {

const char* presenceName(KelvoReaderUsbPort::Presence presence) {
  switch (presence) {
    case KelvoReaderUsbPort::Presence::reader:
      return "reader";
    case KelvoReaderUsbPort::Presence::bootloader:
      return "bootloader";
    case KelvoReaderUsbPort::Presence::none:
      break;
  }
  return "none";
}

std::string hexOf(uint16_t id) {
  char text[5];
  std::snprintf(text, sizeof text, "%04x", id);
  return text;
}

std::string hexOf(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

int digitOf(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::vector<uint8_t> bytesOf(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t at = 0; at + 1 < hex.size(); at += 2) {
    bytes.push_back(static_cast<uint8_t>(digitOf(hex[at]) * 16 + digitOf(hex[at + 1])));
  }
  return bytes;
}

std::optional<std::string> optionalText(const nlohmann::json& answer, const char* key) {
  if (!answer.contains(key) || !answer[key].is_string()) return std::nullopt;
  return answer[key].get<std::string>();
}

}  // namespace

std::shared_ptr<UsbWorldLink> UsbWorldLink::connect(const std::string& socketPath) {
  sockaddr_un address{};
  if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
    throw std::runtime_error("the USB bus socket path is empty or too long: " + socketPath);
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(std::string("cannot make a socket: ") + std::strerror(errno));
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const std::string why = std::strerror(errno);
    close(fd);
    throw std::runtime_error("cannot reach the USB bus at " + socketPath + ": " + why);
  }
  return std::shared_ptr<UsbWorldLink>(new UsbWorldLink(fd));
}

UsbWorldLink::UsbWorldLink(int fd) : socketFd(fd) {
  if (pipe2(stopFds, O_CLOEXEC) != 0) {
    close(socketFd);
    throw std::runtime_error(std::string("cannot create a stop pipe: ") + std::strerror(errno));
  }
  answers = std::thread(&UsbWorldLink::run, this);
}

UsbWorldLink::~UsbWorldLink() {
  const char stop = 's';
  if (write(stopFds[1], &stop, 1) < 0) TREVALON_LOG(error, "cannot wake the USB bus reader: %s", std::strerror(errno));
  if (answers.joinable()) answers.join();
  close(socketFd);
  close(stopFds[0]);
  close(stopFds[1]);
}

void UsbWorldLink::enroll(const std::shared_ptr<KelvoReaderEmulator>& reader) {
  {
    std::lock_guard<std::mutex> guard(readersLock);
    readers[reader->serial()] = reader;
  }
  reader->attachUsbPort(shared_from_this());
}

void UsbWorldLink::show(const std::string& serial, int generation, Presence presence) {
  send(nlohmann::json{{"serial", serial}, {"generation", generation}, {"show", presenceName(presence)}}.dump());
}

bool UsbWorldLink::plugBridge(const std::string& serial, uint16_t vendor, uint16_t product, BridgeHandler handler) {
  {
    std::lock_guard<std::mutex> guard(readersLock);
    bridges[serial] = std::move(handler);
    plugged[serial] = false;
  }
  send(nlohmann::json{{"bridge", serial}, {"show", true}, {"vid", hexOf(vendor)}, {"pid", hexOf(product)}}.dump());
  std::unique_lock<std::mutex> guard(readersLock);
  return bridgePlugged.wait_for(guard, std::chrono::seconds(5), [this, &serial] { return plugged[serial]; });
}

void UsbWorldLink::unplugBridge(const std::string& serial) {
  send(nlohmann::json{{"bridge", serial}, {"show", false}}.dump());
}

void UsbWorldLink::replugBridge(const std::string& serial, int afterMs) {
  send(nlohmann::json{{"bridge", serial}, {"replug-after-ms", afterMs}}.dump());
}

void UsbWorldLink::send(const std::string& text) {
  const std::string line = text + "\n";
  std::lock_guard<std::mutex> guard(writeLock);
  for (size_t sent = 0; sent < line.size();) {
    const ssize_t count = ::send(socketFd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      TREVALON_LOG(error, "the USB bus is gone: %s", std::strerror(errno));
      return;
    }
    sent += static_cast<size_t>(count);
  }
}

void UsbWorldLink::run() {
  trevalon::common::setThreadName("SIM_USB");
  std::string pending;
  for (;;) {
    pollfd watched[2] = {{socketFd, POLLIN, 0}, {stopFds[0], POLLIN, 0}};
    if (poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      TREVALON_LOG(error, "USB bus: poll failed: %s", std::strerror(errno));
      return;
    }
    if (watched[1].revents != 0) return;
    char buffer[512];
    const ssize_t count = read(socketFd, buffer, sizeof buffer);
    if (count <= 0) {
      if (count < 0 && errno == EINTR) continue;
      TREVALON_LOG(info, "the USB bus has closed its socket");
      return;
    }
    pending.append(buffer, static_cast<size_t>(count));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      answered(line);
    }
  }
}

// {"serial": S, "installed": VERSION} or {"serial": S, "error": WHY}; a first-generation image has no version.
void UsbWorldLink::answered(const std::string& line) {
  const nlohmann::json answer = nlohmann::json::parse(line, nullptr, false);
  if (answer.is_object() && answer.contains("bridge") && answer["bridge"].is_string() && answer.contains("out") &&
      answer["out"].is_string()) {
    bridgeOut(answer["bridge"].get<std::string>(), bytesOf(answer["out"].get<std::string>()));
    return;
  }
  if (answer.is_object() && answer.contains("bridge") && answer["bridge"].is_string() && answer.contains("plugged")) {
    std::lock_guard<std::mutex> guard(readersLock);
    plugged[answer["bridge"].get<std::string>()] = true;
    bridgePlugged.notify_all();
    return;
  }
  if (answer.is_discarded() || !answer.is_object() || !answer.contains("serial") || !answer["serial"].is_string()) {
    TREVALON_LOG(error, "USB bus: cannot read the line %s", line.c_str());
    return;
  }
  std::shared_ptr<KelvoReaderEmulator> reader;
  {
    std::lock_guard<std::mutex> guard(readersLock);
    const auto found = readers.find(answer["serial"].get<std::string>());
    if (found != readers.end()) reader = found->second.lock();
  }
  if (!reader) {
    TREVALON_LOG(error, "USB bus: no reader %s", answer["serial"].get<std::string>().c_str());
    return;
  }
  reader->finishUsbBootloader(optionalText(answer, "installed"), optionalText(answer, "error"));
}

void UsbWorldLink::bridgeOut(const std::string& serial, const std::vector<uint8_t>& bytes) {
  BridgeHandler handler;
  {
    std::lock_guard<std::mutex> guard(readersLock);
    const auto found = bridges.find(serial);
    if (found != bridges.end()) handler = found->second;
  }
  if (!handler) return;
  for (const std::vector<uint8_t>& message : handler(bytes)) {
    send(nlohmann::json{{"bridge", serial}, {"in", hexOf(message)}}.dump());
  }
}

}  // namespace kelvo::simulator
