// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/KelvoBLEReaderKelvoBLECharacteristscsTranslator.h"

#include <algorithm>
#include <set>

#include "trevalon/common/Log.h"
#include "trevalon/common/NamedLock.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/kelvo/AnswerWait.h"

namespace trevalon::kelvo {
namespace {

// Package indices are one byte, so no response can have more packages than this.
constexpr size_t kMaxPackages = 256;
constexpr uint8_t kEncryptionMarker = 0xFF;
const std::vector<uint8_t> kFailed = {KelvoBLEReader::kStatusTransferFailed};

size_t packageCount(size_t size, size_t pack) { return size / pack + (size % pack != 0 ? 1 : 0); }

// Collects numbered packages into a response buffer of known size; never writes past it.
class PackageAssembly {
 public:
  PackageAssembly(size_t size, size_t pack) : buffer(size), pack(pack), expected(packageCount(size, pack)) {}

  bool place(const std::vector<uint8_t>& package) {
    const size_t index = package[0];
    if (index >= expected) {
      TREVALON_LOG(error, "unexpected packack with index=%i", static_cast<int>(index));
      return false;
    }
    const size_t offset = index * pack;
    const size_t length = package.size() - 1;
    if (offset + length > buffer.size()) {
      TREVALON_LOG(error, "package with index=%i runs past the response of %zu bytes", static_cast<int>(index),
                   buffer.size());
      return false;
    }
    const auto place = buffer.begin() + static_cast<std::ptrdiff_t>(offset);
    // A package sent twice is harmless; two different packages under one index mean that a package of an
    // earlier answer got into this one, and neither can be trusted.
    if (received.count(index) != 0) {
      if (!std::equal(package.begin() + 1, package.end(), place)) {
        TREVALON_LOG(error, "two different packages with index=%i", static_cast<int>(index));
        return false;
      }
      return true;
    }
    std::copy(package.begin() + 1, package.end(), place);
    received.insert(index);
    return true;
  }

  bool complete() const { return received.size() == expected; }
  size_t receivedCount() const { return received.size(); }
  size_t expectedCount() const { return expected; }
  std::vector<uint8_t>& data() { return buffer; }

 private:
  std::vector<uint8_t> buffer;
  size_t pack;
  size_t expected;
  std::set<size_t> received;
};

bool saneHeader(size_t size, size_t minimumSize, uint8_t marker, uint8_t pack) {
  if (size < minimumSize || marker != 1 || pack == 0 || packageCount(size, pack) > kMaxPackages) {
    TREVALON_LOG(error, "sanity check for first package failed size=%i idx=%i pack=%i", static_cast<int>(size),
                 static_cast<int>(marker), static_cast<int>(pack));
    return false;
  }
  return true;
}

// An empty package is a time-out or a broken notification. Once some packages have come, it means the rest
// are not coming.
void logMissingPackage(size_t packageSize, size_t received, size_t expected) {
  if (received == 0) {
    TREVALON_LOG(error, "invalid package size '%zi' on 'output2'", packageSize);
  } else {
    TREVALON_LOG(error, "packages are missing. expected %u received %zi", static_cast<unsigned>(expected), received);
  }
}

uint16_t littleEndian16(uint8_t low, uint8_t high) { return static_cast<uint16_t>(low | high << 8); }

}  // namespace

std::string KelvoBLEReaderKelvoBLECharacteristscsTranslator::getAddress() {
  TREVALON_TRACE();
  auto characteristics = getMaster();
  return characteristics ? characteristics->getAddress() : std::string();
}

std::string KelvoBLEReaderKelvoBLECharacteristscsTranslator::getId() {
  TREVALON_TRACE();
  auto characteristics = getMaster();
  return characteristics ? characteristics->getId() : std::string();
}

bool KelvoBLEReaderKelvoBLECharacteristscsTranslator::isConnected() {
  TREVALON_TRACE();
  auto characteristics = getMaster();
  return characteristics && characteristics->isConnected();
}

bool KelvoBLEReaderKelvoBLECharacteristscsTranslator::isAvailable() {
  TREVALON_TRACE();
  auto characteristics = getMaster();
  return characteristics && characteristics->isAvailable();
}

bool KelvoBLEReaderKelvoBLECharacteristscsTranslator::isPaired() {
  TREVALON_TRACE();
  auto characteristics = getMaster();
  return characteristics && characteristics->isPaired();
}

bool KelvoBLEReaderKelvoBLECharacteristscsTranslator::setPaired(bool paired) {
  TREVALON_TRACE();
  auto characteristics = getMaster();
  return characteristics && characteristics->setPaired(paired);
}

uint64_t KelvoBLEReaderKelvoBLECharacteristscsTranslator::updateMtu(uint64_t size) {
  uint64_t current = mtu.load();
  while (size > current && !mtu.compare_exchange_weak(current, size)) {
  }
  return std::max(current, size);
}

bool KelvoBLEReaderKelvoBLECharacteristscsTranslator::indicate(uint8_t command, std::vector<uint8_t> data) {
  TREVALON_TRACE();
  auto characteristics = getMaster();
  if (!characteristics) {
    return false;
  }
  TREVALON_LABELLED_LOCK(guard, "BLE", transferLock);
  data.insert(data.begin(), command);
  return characteristics->writeIndicate(std::move(data));
}

std::vector<uint8_t> KelvoBLEReaderKelvoBLECharacteristscsTranslator::transmitRaw(std::vector<uint8_t> request,
                                                                                  bool /*recover*/) {
  TREVALON_TRACE();
  auto characteristics = getMaster();
  if (!characteristics) {
    TREVALON_LOG(error, "no characteristics below");
    return kFailed;
  }
  // A sealed frame hides its method: the layer that sealed it has said how long its answer may take.
  const std::optional<std::chrono::seconds> announced = AnswerWait::current();
  const std::chrono::seconds firstWait =
      announced ? *announced
                : (!request.empty() && request[0] != kEncryptionMarker ? AnswerWait::forMethod(request[0])
                                                                       : AnswerWait::kSlow);
  TREVALON_LABELLED_LOCK(guard, "BLE", transferLock);
  characteristics->discardOutput2();
  if (request.size() + 5 >= mtu.load()) {
    return transmitFast(characteristics, request, firstWait);
  }
  return transmitFastest(characteristics, request, firstWait);
}

void KelvoBLEReaderKelvoBLECharacteristscsTranslator::dropAnswersInFlight() {
  TREVALON_TRACE();
  auto characteristics = getMaster();
  if (!characteristics) {
    return;
  }
  TREVALON_LABELLED_LOCK(guard, "BLE", transferLock);
  const auto limit = std::chrono::steady_clock::now() + kDropLimit;
  size_t dropped = 0;
  while (std::chrono::steady_clock::now() < limit && !characteristics->waitOutput2(kQuietLink).empty()) {
    ++dropped;
  }
  characteristics->discardOutput2();
  if (dropped != 0) {
    TREVALON_LOG(info, "%zu packages of earlier answers dropped", dropped);
  }
}

std::vector<uint8_t> KelvoBLEReaderKelvoBLECharacteristscsTranslator::nextPackage(
    const std::shared_ptr<KelvoBLECharacteristscs>& characteristics, std::chrono::seconds limit) {
  std::vector<uint8_t> package = characteristics->waitOutput2(limit);
  updateMtu(package.size() + 3);
  return package;
}

std::vector<uint8_t> KelvoBLEReaderKelvoBLECharacteristscsTranslator::transmitFast(
    const std::shared_ptr<KelvoBLECharacteristscs>& characteristics, const std::vector<uint8_t>& request,
    std::chrono::seconds firstWait) {
  TREVALON_TRACE();
  if (request.size() > kMaxRequest) {
    TREVALON_LOG(error, "data is too big");
    return kFailed;
  }
  const uint16_t length = static_cast<uint16_t>(request.size());
  if (!characteristics->writePrepare({static_cast<uint8_t>(length & 0xff), static_cast<uint8_t>(length >> 8)})) {
    TREVALON_LOG(error, "failed write characteristic 'prepare'");
    return kFailed;
  }
  for (size_t offset = 0; offset < request.size(); offset += kInputPiece) {
    const size_t end = std::min(offset + kInputPiece, request.size());
    if (!characteristics->writeInput(std::vector<uint8_t>(request.begin() + static_cast<std::ptrdiff_t>(offset),
                                                          request.begin() + static_cast<std::ptrdiff_t>(end)))) {
      TREVALON_LOG(error, "failed write characteristic 'input'");
      return kFailed;
    }
  }
  const std::vector<uint8_t> process = characteristics->readProcess2();
  if (process.size() != 4) {
    TREVALON_LOG(error, "expected 4 bytes from 'process2' received %zi", process.size());
    return kFailed;
  }
  const size_t size = littleEndian16(process[0], process[1]);
  if (!saneHeader(size, 1, process[2], process[3])) {
    return kFailed;
  }
  PackageAssembly assembly(size, process[3]);
  while (!assembly.complete()) {
    const std::vector<uint8_t> package =
        nextPackage(characteristics, assembly.receivedCount() == 0 ? firstWait : AnswerWait::kNextPackage);
    if (package.empty()) {
      logMissingPackage(package.size(), assembly.receivedCount(), assembly.expectedCount());
      return kFailed;
    }
    if (!assembly.place(package)) {
      return kFailed;
    }
  }
  return std::move(assembly.data());
}

std::vector<uint8_t> KelvoBLEReaderKelvoBLECharacteristscsTranslator::transmitFastest(
    const std::shared_ptr<KelvoBLECharacteristscs>& characteristics, const std::vector<uint8_t>& request,
    std::chrono::seconds firstWait) {
  TREVALON_TRACE();
  std::vector<uint8_t> frame;
  frame.reserve(request.size() + 2);
  frame.push_back(static_cast<uint8_t>(request.size() & 0xff));
  frame.push_back(static_cast<uint8_t>(request.size() >> 8));
  frame.insert(frame.end(), request.begin(), request.end());
  if (!characteristics->writeTransmit(std::move(frame))) {
    TREVALON_LOG(error, "failed write characteristic 'transmit'");
    return kFailed;
  }
  // Packages that overtake package 0 wait here until it tells where they go.
  std::vector<std::vector<uint8_t>> early;
  std::unique_ptr<PackageAssembly> assembly;
  for (;;) {
    const size_t before = assembly ? assembly->receivedCount() : early.size();
    const std::vector<uint8_t> package =
        nextPackage(characteristics, before == 0 ? firstWait : AnswerWait::kNextPackage);
    const size_t received = assembly ? assembly->receivedCount() : early.size();
    if (package.empty()) {
      logMissingPackage(package.size(), received, assembly ? assembly->expectedCount() : 0);
      return kFailed;
    }
    if (assembly) {
      if (!assembly->place(package)) return kFailed;
    } else if (package[0] != 0) {
      if (early.size() >= kMaxPackages) {
        TREVALON_LOG(error, "unexpected packack with index=%i", static_cast<int>(package[0]));
        return kFailed;
      }
      early.push_back(package);
      continue;
    } else {
      if (package.size() < 6) {
        TREVALON_LOG(error, "invalid package size '%zi' on 'output2'", package.size());
        return kFailed;
      }
      const size_t total = littleEndian16(package[1], package[2]);
      if (!saneHeader(total, 5, package[3], package[4])) {
        return kFailed;
      }
      assembly = std::make_unique<PackageAssembly>(total, package[4]);
      if (!assembly->place(package)) return kFailed;
      for (const std::vector<uint8_t>& held : early) {
        if (!assembly->place(held)) return kFailed;
      }
    }
    if (assembly->complete()) {
      std::vector<uint8_t>& data = assembly->data();
      return std::vector<uint8_t>(data.begin() + 4, data.end());
    }
  }
}

void KelvoBLEReaderKelvoBLECharacteristscsTranslator::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  if (!connected) {
    mtu = kInitialMtu;
  }
  notifyObservers(&KelvoBLEReaderObserver::onConnectedChanged, connected);
}

void KelvoBLEReaderKelvoBLECharacteristscsTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  notifyObservers(&KelvoBLEReaderObserver::onAvailableChanged, available);
}

void KelvoBLEReaderKelvoBLECharacteristscsTranslator::onPairedChanged(bool paired) {
  TREVALON_TRACE();
  notifyObservers(&KelvoBLEReaderObserver::onPairedChanged, paired);
}

void KelvoBLEReaderKelvoBLECharacteristscsTranslator::notified(std::vector<uint8_t> data) {
  TREVALON_TRACE();
  if (data.empty()) {
    TREVALON_LOG(error, "Empty notification");
    return;
  }
  const uint8_t id = (data[0] >= 1 && data[0] <= 7) ? data[0] : 0xFF;
  notifyObservers(&KelvoBLEReaderObserver::notified, id, std::vector<uint8_t>(data.begin() + 1, data.end()));
}

void KelvoBLEReaderKelvoBLECharacteristscsTranslator::onEvent(uint32_t value) {
  TREVALON_TRACE();
  notifyObservers(&KelvoBLEReaderObserver::onEvent, value);
}

}  // namespace trevalon::kelvo
