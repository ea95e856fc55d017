// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/bridge/BridgeReaderLink.h"

#include <algorithm>

namespace kelvo::simulator {

namespace {

using Emulator = KelvoReaderEmulator;
constexpr uint8_t kTransferFailed = 0x81;
constexpr size_t kHeaderLength = 4;  // answer size with the header (2 bytes LE), 1, package size

trevalon::ble::Uuid readerService(const KelvoReaderEmulator& reader) {
  const std::vector<trevalon::sim::GattService> services = reader.services();
  return services.empty() ? trevalon::ble::Uuid() : services.front().uuid;
}

}  // namespace

BridgeReaderLink::BridgeReaderLink(std::shared_ptr<KelvoReaderEmulator> peer)
    : reader(std::move(peer)), service(readerService(*reader)) {}

std::shared_ptr<BridgeReaderLink> BridgeReaderLink::open(const std::shared_ptr<KelvoReaderEmulator>& reader) {
  auto link = std::make_shared<BridgeReaderLink>(reader);
  reader->setQuirk(KelvoReaderQuirk::acceptPlain, true);
  reader->attach(link);
  if (!reader->isLinkUp() ||
      !reader->subscribe(link->service, Emulator::characteristicUuid(Emulator::kOutput2), true)) {
    reader->attach({});
    return nullptr;
  }
  return link;
}

void BridgeReaderLink::close() {
  reader->subscribe(service, Emulator::characteristicUuid(Emulator::kOutput2), false);
  reader->attach({});
}

std::vector<uint8_t> BridgeReaderLink::transmit(const std::vector<uint8_t>& request) {
  {
    std::lock_guard<std::mutex> guard(lock);
    packages.clear();
  }
  std::vector<uint8_t> frame(request.size() + 2);
  frame[0] = static_cast<uint8_t>(request.size());
  frame[1] = static_cast<uint8_t>(request.size() >> 8);
  std::copy(request.begin(), request.end(), frame.begin() + 2);
  // The reader answers within the write: its packages have arrived when it returns.
  if (!reader->write(service, Emulator::characteristicUuid(Emulator::kTransmit), frame)) return {kTransferFailed};
  std::vector<uint8_t> answer = assembled();
  return answer.empty() ? std::vector<uint8_t>{kTransferFailed} : answer;
}

bool BridgeReaderLink::indicate(const std::vector<uint8_t>& bytes) {
  return reader->write(service, Emulator::characteristicUuid(Emulator::kIndicate), bytes);
}

void BridgeReaderLink::onNotification(const std::string&, const trevalon::ble::Uuid&,
                                      const trevalon::ble::Uuid& characteristic, std::vector<uint8_t> data) {
  if (characteristic != Emulator::characteristicUuid(Emulator::kOutput2) || data.empty()) return;
  std::lock_guard<std::mutex> guard(lock);
  const uint8_t index = data.front();
  packages[index] = std::vector<uint8_t>(data.begin() + 1, data.end());
}

void BridgeReaderLink::onLinkChanged(const std::string&, bool) {}

// The packages in index order, complete from 0 and as long as package 0 says; empty otherwise.
std::vector<uint8_t> BridgeReaderLink::assembled() {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<uint8_t> buffer;
  for (uint8_t index = 0; packages.count(index) != 0; ++index) {
    buffer.insert(buffer.end(), packages[index].begin(), packages[index].end());
    if (index == 255) break;
  }
  if (buffer.size() < kHeaderLength) return {};
  const size_t total = buffer[0] | (buffer[1] << 8);
  if (total < kHeaderLength || buffer.size() < total) return {};
  return std::vector<uint8_t>(buffer.begin() + kHeaderLength, buffer.begin() + static_cast<long>(total));
}

}  // namespace kelvo::simulator
