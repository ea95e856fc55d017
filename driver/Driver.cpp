#include "Driver.h"

#include <algorithm>
#include <cctype>

#include "DriverStatus.h"
#include "OwnedFiles.h"
#include "RequestDispatcher.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace kelvo::driver {
namespace {

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

Driver::Driver(std::string runtimeDirectory, std::shared_ptr<const PeerPolicy> policy, ReaderSocketLimits limits)
    : runtimeDirectory(std::move(runtimeDirectory)), policy(std::move(policy)), limits(limits) {}

Driver::~Driver() { stopAll(); }

bool Driver::prepareRuntimeDirectory() {
  TREVALON_TRACE();
  std::string failure;
  if (!OwnedFiles::prepareDirectory(runtimeDirectory, 0755, failure)) {
    TREVALON_LOG(error, "refusing the runtime directory %s", failure.c_str());
    return false;
  }
  return true;
}

std::string Driver::socketPathOf(const std::string& address) const {
  return runtimeDirectory + "/" + kSocketPrefix + lowerCase(address);
}

void Driver::onFound(const std::shared_ptr<trevalon::Device>& device) {
  TREVALON_TRACE();
  if (!device) return;
  const std::string address = lowerCase(device->getAddress());
  std::weak_ptr<trevalon::Device> weakDevice = device;
  auto socket = std::make_unique<ReaderSocket>(
      socketPathOf(address),
      [weakDevice](const std::vector<uint8_t>& request) {
        std::shared_ptr<trevalon::Device> reader = weakDevice.lock();
        if (!reader) return std::vector<uint8_t>{kStatusDeviceRemoved};
        return RequestDispatcher::answer(reader, request);
      },
      policy, limits, &RequestDispatcher::answerWithoutReader);
  std::lock_guard<std::mutex> guard(socketsLock);
  if (sockets.count(address) != 0) return;
  if (!socket->start()) return;
  sockets.emplace(address, std::move(socket));
}

void Driver::onLost(const std::shared_ptr<trevalon::Device>& device) {
  TREVALON_TRACE();
  if (!device) return;
  std::unique_ptr<ReaderSocket> socket;
  {
    std::lock_guard<std::mutex> guard(socketsLock);
    auto entry = sockets.find(lowerCase(device->getAddress()));
    if (entry == sockets.end()) return;
    socket = std::move(entry->second);
    sockets.erase(entry);
  }
  TREVALON_LOG(info, "reader %s lost", device->getAddress().c_str());
  socket->markLost();
  socket->stop();
}

void Driver::stopAll() {
  std::map<std::string, std::unique_ptr<ReaderSocket>> ending;
  {
    std::lock_guard<std::mutex> guard(socketsLock);
    ending.swap(sockets);
  }
  for (auto& entry : ending) entry.second->stop();
}

std::vector<std::string> Driver::servedAddresses() {
  std::lock_guard<std::mutex> guard(socketsLock);
  std::vector<std::string> addresses;
  for (const auto& entry : sockets) addresses.push_back(entry.first);
  return addresses;
}

}  // namespace kelvo::driver
