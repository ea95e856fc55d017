// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/bridge/BridgeEmulator.h"

#include <algorithm>

namespace kelvo::simulator {

namespace {

constexpr uint8_t kSendPasskey = 0x0C;
constexpr uint8_t kSearch = 0x0D;
constexpr uint8_t kSelectDevice = 0x0E;
constexpr uint8_t kHardReset = 0x0F;
constexpr uint8_t kStoreDeviceName = 0x10;
constexpr uint8_t kGetPairedDevices = 0x11;
constexpr uint8_t kGetDeviceName = 0x13;
constexpr uint8_t kGetStatus = 0x14;
constexpr uint8_t kAbortPair = 0x15;
constexpr uint8_t kSendRpc = 0x16;
constexpr uint8_t kSendIndication = 0x17;
constexpr uint8_t kGetVersion = 0x18;
constexpr uint8_t kReport = 0x88;
constexpr uint8_t kSearchEnd = 0x89;
constexpr uint8_t kRpcAnswer = 0x96;

// The Bridge's result codes.
constexpr uint8_t kConnected = 0;
constexpr uint8_t kPairingRequired = 1;
constexpr uint8_t kNoPairingInProgress = 2;
constexpr uint8_t kNotInRange = 3;
constexpr uint8_t kWrongPasskey = 4;
constexpr uint8_t kTransferFailed = 0x81;
constexpr uint8_t kIndicationFailed = 3;

constexpr uint16_t kStatusPairing = 0x0200;
constexpr uint16_t kStatusConnected = 0x1800;
constexpr size_t kAddressBytes = 6;
constexpr size_t kMaxNameBytes = 16;
constexpr size_t kMaxPayload = 253;
constexpr size_t kMaxAdvertisedName = 29;  // a report stays within 31 bytes of advertising data
constexpr uint8_t kCompleteUuidList = 7;
constexpr uint8_t kCompleteName = 9;

using Message = BridgeEmulator::Message;

Message message(uint8_t code, const std::vector<uint8_t>& payload = {}) {
  Message bytes{static_cast<uint8_t>(payload.size() + 2), code};
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

// select_device and send_passkey are answered with their result in place of a code.
Message resultMessage(uint8_t result) { return Message{2, result}; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// "001a7dda7113" as the Bridge carries it: least significant byte first.
std::vector<uint8_t> addressBytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t at = text.size(); at >= 2 && bytes.size() < kAddressBytes; at -= 2) {
    bytes.push_back(static_cast<uint8_t>(hexValue(text[at - 2]) * 16 + hexValue(text[at - 1])));
  }
  return bytes;
}

std::string addressText(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte) {
    text += kDigits[*byte >> 4];
    text += kDigits[*byte & 0x0F];
  }
  return text;
}

Message advertisingReport(const std::string& address, const trevalon::sim::EmulatedPeripheral& device) {
  std::vector<uint8_t> payload = addressBytes(address);
  const std::string name = device.name().substr(0, kMaxAdvertisedName);
  payload.push_back(static_cast<uint8_t>(name.size() + 1));
  payload.push_back(kCompleteName);
  payload.insert(payload.end(), name.begin(), name.end());
  if (const auto* reader = dynamic_cast<const KelvoReaderEmulator*>(&device)) {
    const std::vector<trevalon::sim::GattService> services = reader->services();
    if (!services.empty()) {
      const std::array<uint8_t, 16>& uuid = services.front().uuid.bytes();
      payload.push_back(17);
      payload.push_back(kCompleteUuidList);
      payload.insert(payload.end(), uuid.rbegin(), uuid.rend());  // least significant byte first, as on air
    }
  }
  return message(kReport, payload);
}

}  // namespace

BridgeEmulator::BridgeEmulator(BridgeConfig config,
                               const std::vector<std::shared_ptr<trevalon::sim::EmulatedPeripheral>>& reach)
    : settings(std::move(config)), name(settings.name), paired(settings.paired.begin(), settings.paired.end()) {
  for (const auto& device : reach) {
    if (std::find(settings.readers.begin(), settings.readers.end(), device->address()) == settings.readers.end()) {
      continue;
    }
    devices[device->address()] = device;
    inRange.insert(device->address());
  }
}

std::vector<Message> BridgeEmulator::receive(const Message& received) {
  if (received.size() < 2) return {};
  const size_t end = std::min<size_t>(received[0], received.size());
  const std::vector<uint8_t> payload(received.begin() + 2,
                                     received.begin() + static_cast<long>(std::max<size_t>(end, 2)));
  switch (received[1]) {
    case kSearch:
      return search();
    case kSelectDevice:
      return {select(payload)};
    case kSendPasskey:
      return {passkey(payload)};
    case kGetStatus:
      return {status()};
    case kGetPairedDevices:
      return {pairedList()};
    case kSendRpc:
      return {rpc(payload)};
    case kSendIndication:
      return {indication(payload)};
    default:
      break;
  }
  std::lock_guard<std::mutex> guard(lock);
  switch (received[1]) {
    case kGetDeviceName:
      return {message(kGetDeviceName, std::vector<uint8_t>(name.begin(), name.end()))};
    case kGetVersion: {
      std::vector<uint8_t> version(settings.version.begin(), settings.version.end());
      version.push_back(0);
      return {message(kGetVersion, version)};
    }
    case kStoreDeviceName:
      if (!payload.empty() && payload.size() <= kMaxNameBytes) name.assign(payload.begin(), payload.end());
      return {};
    case kAbortPair:
      pairing.reset();
      return {message(kAbortPair)};
    case kHardReset:
      disconnectLocked();
      pairing.reset();
      resetAsked = true;
      return {};
    default:
      return {};
  }
}

std::vector<Message> BridgeEmulator::search() {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<Message> reports;
  for (const std::string& address : inRange) reports.push_back(advertisingReport(address, *devices.at(address)));
  reports.push_back(message(kSearchEnd));
  return reports;
}

Message BridgeEmulator::select(const std::vector<uint8_t>& address) {
  std::lock_guard<std::mutex> guard(lock);
  if (address.size() != kAddressBytes) return resultMessage(kNotInRange);
  disconnectLocked();
  pairing.reset();
  if (std::all_of(address.begin(), address.end(), [](uint8_t byte) { return byte == 0xFF; })) {
    return resultMessage(kConnected);
  }
  const std::string text = addressText(address);
  if (inRange.count(text) == 0 || !std::dynamic_pointer_cast<KelvoReaderEmulator>(devices.at(text))) {
    return resultMessage(kNotInRange);
  }
  if (paired.count(text) == 0) {
    pairing = text;
    return resultMessage(kPairingRequired);
  }
  connectLocked(text);
  return resultMessage(connected ? kConnected : kNotInRange);
}

Message BridgeEmulator::passkey(const std::vector<uint8_t>& code) {
  std::lock_guard<std::mutex> guard(lock);
  if (!pairing) return resultMessage(kNoPairingInProgress);
  const std::string address = *pairing;
  pairing.reset();
  const uint32_t value = code.size() == 4
                             ? (static_cast<uint32_t>(code[0]) << 24) | (code[1] << 16) | (code[2] << 8) | code[3]
                             : ~settings.passkey;
  if (value != settings.passkey) return resultMessage(kWrongPasskey);
  paired.insert(address);
  connectLocked(address);
  return resultMessage(connected ? kConnected : kNotInRange);
}

Message BridgeEmulator::status() const {
  std::lock_guard<std::mutex> guard(lock);
  const uint16_t word = pairing ? kStatusPairing : (connected ? kStatusConnected : 0);
  return message(kGetStatus, {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                              static_cast<uint8_t>(connectionId >> 8), static_cast<uint8_t>(connectionId)});
}

Message BridgeEmulator::pairedList() const {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<uint8_t> payload;
  for (const std::string& address : paired) {
    const std::vector<uint8_t> bytes = addressBytes(address);
    if (payload.size() + bytes.size() > kMaxPayload) break;
    payload.insert(payload.end(), bytes.begin(), bytes.end());
  }
  return message(kGetPairedDevices, payload);
}

Message BridgeEmulator::rpc(const std::vector<uint8_t>& request) {
  std::shared_ptr<BridgeReaderLink> current;
  {
    std::lock_guard<std::mutex> guard(lock);
    current = link;
  }
  if (!current || request.empty()) return message(kRpcAnswer, {kTransferFailed});
  const std::vector<uint8_t> response = current->transmit(request);
  // An answer longer than one message can carry is lost on the Bridge's side.
  return response.size() > kMaxPayload ? message(kRpcAnswer, {kTransferFailed}) : message(kRpcAnswer, response);
}

Message BridgeEmulator::indication(const std::vector<uint8_t>& bytes) {
  std::shared_ptr<BridgeReaderLink> current;
  {
    std::lock_guard<std::mutex> guard(lock);
    current = link;
  }
  const bool done = current && !bytes.empty() && current->indicate(bytes);
  return message(kSendIndication,
                 {static_cast<uint8_t>(done ? 0 : 1), static_cast<uint8_t>(done ? 0 : kIndicationFailed)});
}

bool BridgeEmulator::takeReset() {
  std::lock_guard<std::mutex> guard(lock);
  const bool asked = resetAsked;
  resetAsked = false;
  return asked;
}

bool BridgeEmulator::setInRange(const std::string& address, bool within) {
  std::lock_guard<std::mutex> guard(lock);
  if (devices.count(address) == 0) return false;
  if (within) {
    inRange.insert(address);
    return true;
  }
  inRange.erase(address);
  if (connected == address) disconnectLocked();
  if (pairing == address) pairing.reset();
  return true;
}

std::string BridgeEmulator::connectedAddress() const {
  std::lock_guard<std::mutex> guard(lock);
  return connected.value_or(std::string());
}

void BridgeEmulator::connectLocked(const std::string& address) {
  auto reader = std::dynamic_pointer_cast<KelvoReaderEmulator>(devices.at(address));
  link = reader ? BridgeReaderLink::open(reader) : nullptr;
  if (!link) return;
  connected = address;
  connectionId = static_cast<uint16_t>(connectionId + 1);
}

void BridgeEmulator::disconnectLocked() {
  if (link) link->close();
  link.reset();
  connected.reset();
}

}  // namespace kelvo::simulator
