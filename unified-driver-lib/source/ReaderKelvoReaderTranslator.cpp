// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ReaderKelvoReaderTranslator.h"

#include "trevalon/common/ExchangeDescriber.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/common/Worker.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/Settings.h"

namespace trevalon {
namespace {

constexpr uint8_t kUnknownByte = 0xFF;

std::string serialSettingName(const std::string& id) { return "serial_" + id; }

}  // namespace

uint8_t ReaderKelvoReaderTranslator::filterSetting(uint8_t id, uint8_t value) {
  switch (id) {
    case kSignalStrength:
      return value <= 3 ? value : kUnknownByte;
    case kAdvertisingMode:
      return value == 1 || value == 2 ? value : kUnknownByte;
    case kDisplayMode:
    case kBackLight:
    case kBuzzerMode:
      return value <= 1 ? value : kUnknownByte;
    default:
      return value;
  }
}

std::optional<CardState> ReaderKelvoReaderTranslator::cardStateOf(uint8_t status) {
  switch (status) {
    case kelvo::KelvoReader::kCardUnknown:
      return kCardUnknown;
    case kelvo::KelvoReader::kCardAbsent:
      return kCardAbsent;
    case kelvo::KelvoReader::kCardPresent:
      // Present but not powered by the reader: nothing can be exchanged with it yet.
      return kCardUnidentified;
    case kelvo::KelvoReader::kCardReady:
      return kCardPresent;
    default:
      return std::nullopt;
  }
}

std::shared_ptr<kelvo::KelvoReader> ReaderKelvoReaderTranslator::lower() {
  std::shared_ptr<kelvo::KelvoReader> reader = getMaster();
  if (!reader) {
    TREVALON_LOG(error, "no reader below");
  }
  return reader;
}

uint8_t ReaderKelvoReaderTranslator::setting(uint8_t id) {
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? filterSetting(id, reader->getSetting(id)) : kUnknownByte;
}

bool ReaderKelvoReaderTranslator::changeSetting(uint8_t id, uint8_t value) {
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader && reader->setSetting(id, value);
}

std::string ReaderKelvoReaderTranslator::getVendor() {
  TREVALON_TRACE();
  return "trevalon GmbH";
}

std::string ReaderKelvoReaderTranslator::getModel() {
  TREVALON_TRACE();
  return "Kelvo";
}

std::string ReaderKelvoReaderTranslator::getSerial() {
  TREVALON_TRACE();
  const std::string name = serialSettingName(getId());
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  if (reader && reader->isConnected()) {
    std::string serial = reader->getDescriptor("Serial");
    if (!serial.empty()) {
      local::writeTextSetting(name, serial, false);
      return serial;
    }
  }
  // Out of reach: the serial from the last time the reader was seen.
  return local::readTextSetting(name, std::string(), false);
}

std::string ReaderKelvoReaderTranslator::getFirmware() {
  TREVALON_TRACE();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getDescriptor("Firmware") : std::string();
}

std::string ReaderKelvoReaderTranslator::getHardware() {
  TREVALON_TRACE();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getDescriptor("Hardware") : std::string();
}

std::string ReaderKelvoReaderTranslator::getBuild() {
  TREVALON_TRACE();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getDescriptor("Build") : std::string();
}

uint8_t ReaderKelvoReaderTranslator::getBatteryLevel() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getBatteryLevel() : kUnknownByte;
}

uint8_t ReaderKelvoReaderTranslator::getUsbCableStatus() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getUsbCableStatus() : kUnknownByte;
}

uint8_t ReaderKelvoReaderTranslator::getEncryption() {
  TREVALON_TRACE_QUIET();
  return kUnknownByte;
}

uint8_t ReaderKelvoReaderTranslator::getAdvertisingMode() {
  TREVALON_TRACE_QUIET();
  return setting(kAdvertisingMode);
}

bool ReaderKelvoReaderTranslator::setAdvertisingMode(uint8_t mode) {
  TREVALON_TRACE_ARGS(std::to_string(mode));
  return changeSetting(kAdvertisingMode, mode);
}

uint8_t ReaderKelvoReaderTranslator::getBuzzerMode() {
  TREVALON_TRACE_QUIET();
  return setting(kBuzzerMode);
}

bool ReaderKelvoReaderTranslator::setBuzzerMode(uint8_t mode) {
  TREVALON_TRACE_ARGS(std::to_string(mode));
  return changeSetting(kBuzzerMode, mode);
}

uint8_t ReaderKelvoReaderTranslator::getSignalStrength() {
  TREVALON_TRACE_QUIET();
  return setting(kSignalStrength);
}

bool ReaderKelvoReaderTranslator::setSignalStrength(uint8_t strength) {
  TREVALON_TRACE_ARGS(std::to_string(strength));
  return changeSetting(kSignalStrength, strength);
}

uint8_t ReaderKelvoReaderTranslator::getBackLight() {
  TREVALON_TRACE_QUIET();
  return setting(kBackLight);
}

bool ReaderKelvoReaderTranslator::setBackLight(uint8_t value) {
  TREVALON_TRACE_ARGS(std::to_string(value));
  return changeSetting(kBackLight, value);
}

uint8_t ReaderKelvoReaderTranslator::getDisplayMode() {
  TREVALON_TRACE_QUIET();
  return setting(kDisplayMode);
}

bool ReaderKelvoReaderTranslator::setDisplayMode(uint8_t mode) {
  TREVALON_TRACE_ARGS(std::to_string(mode));
  return changeSetting(kDisplayMode, mode);
}

uint8_t ReaderKelvoReaderTranslator::getRssiMinValue() {
  TREVALON_TRACE_QUIET();
  // Any byte is a valid signed dBm value.
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getSetting(kRssiMinValue) : kUnknownByte;
}

bool ReaderKelvoReaderTranslator::setRssiMinValue(uint8_t value) {
  TREVALON_TRACE_ARGS(std::to_string(static_cast<int8_t>(value)));
  return changeSetting(kRssiMinValue, value);
}

kelvo::WorkingTimeRanges ReaderKelvoReaderTranslator::getWorkingTimeRanges() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getWorkingTimeRanges() : kelvo::WorkingTimeRanges::zero();
}

bool ReaderKelvoReaderTranslator::setWorkingTimeRanges(const kelvo::WorkingTimeRanges& ranges) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader && reader->setWorkingTimeRanges(ranges);
}

std::string ReaderKelvoReaderTranslator::getAddress() {
  TREVALON_TRACE();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getAddress() : std::string();
}

bool ReaderKelvoReaderTranslator::isConnected() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader && reader->isConnected();
}

bool ReaderKelvoReaderTranslator::isAvailable() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader && reader->isAvailable();
}

std::list<std::string> ReaderKelvoReaderTranslator::getBonded() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getBonded() : std::list<std::string>();
}

std::string ReaderKelvoReaderTranslator::getPrefered() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getPrefered() : std::string();
}

bool ReaderKelvoReaderTranslator::setPrefered(const std::string&) {
  TREVALON_TRACE_QUIET();
  // Kelvo readers choose their preferred bonding themselves.
  return false;
}

bool ReaderKelvoReaderTranslator::isPaired() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader && reader->isPaired();
}

bool ReaderKelvoReaderTranslator::setPaired(bool paired) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader && reader->setPaired(paired);
}

bool ReaderKelvoReaderTranslator::eraseBond(const std::string& name) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader && reader->eraseBond(name);
}

bool ReaderKelvoReaderTranslator::forceBootMode() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader && reader->forceBootMode();
}

bool ReaderKelvoReaderTranslator::reservedQuery() {
  TREVALON_TRACE_QUIET();
  return false;
}

bool ReaderKelvoReaderTranslator::stateQuery() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader && reader->stateQuery();
}

std::string ReaderKelvoReaderTranslator::getId() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  return reader ? reader->getId() : std::string();
}

Reader::Family ReaderKelvoReaderTranslator::getFamily() { return Family::kKelvo; }

CardState ReaderKelvoReaderTranslator::getState() {
  TREVALON_TRACE_QUIET();
  return kCardUnknown;
}

std::vector<uint8_t> ReaderKelvoReaderTranslator::getAtr() {
  TREVALON_TRACE();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  if (!reader) return {};
  kelvo::TransmitResult answer = reader->command(kReset, {});
  return answer.status == 0 ? std::move(answer.payload) : std::vector<uint8_t>();
}

uint32_t ReaderKelvoReaderTranslator::getProtocol() {
  TREVALON_TRACE_QUIET();
  return kProtocolNone;
}

std::vector<uint8_t> ReaderKelvoReaderTranslator::sendAPDU(std::vector<uint8_t> apdu) {
  TREVALON_TRACE_ARGS(common::ExchangeDescriber::apdu(apdu));
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  if (!reader) return {};
  kelvo::TransmitResult answer = reader->command(kApdu, apdu);
  if (answer.status != 0) {
    TREVALON_LOG(error, "failed to send APDU: 0x%X", answer.status);
    return {};
  }
  return std::move(answer.payload);
}

bool ReaderKelvoReaderTranslator::setProtocol(uint32_t protocol) {
  TREVALON_TRACE_ARGS(std::to_string(protocol));
  // The reader speaks to the card in whatever protocol the card offers; there is nothing to tell it.
  return true;
}

bool ReaderKelvoReaderTranslator::shutdown() {
  TREVALON_TRACE();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  if (!reader || reader->command(kShutdown, {}).status != 0) {
    TREVALON_LOG(info, "Error was ignored during shutdown");
  }
  return true;
}

void ReaderKelvoReaderTranslator::onSettingChanged(uint8_t id, uint8_t value) {
  TREVALON_TRACE_ARGS(std::to_string(id) + ", " + std::to_string(value));
  const uint8_t filtered = filterSetting(id, value);
  switch (id) {
    case kSignalStrength:
      notifyDevice(&DeviceObserver::onSignalStrengthChanged, filtered);
      break;
    case kAdvertisingMode:
      notifyDevice(&DeviceObserver::onAdvertisingModeChanged, filtered);
      break;
    case kDisplayMode:
      notifyDevice(&DeviceObserver::onDisplayModeChanged, filtered);
      break;
    case kBackLight:
      notifyDevice(&DeviceObserver::onBackLightChanged, filtered);
      break;
    case kBuzzerMode:
      notifyDevice(&DeviceObserver::onBuzzerModeChanged, filtered);
      break;
    case kRssiMinValue:
      notifyDevice(&DeviceObserver::onRssiMinValueChanged, value);
      break;
    default:
      TREVALON_LOG(warning, "Unhandled setting 0x%X", id);
      break;
  }
}

void ReaderKelvoReaderTranslator::onCardStatusChanged(uint8_t status) {
  TREVALON_TRACE_ARGS(std::to_string(status));
  TREVALON_LOG(info, "Card status is now 0x%hhx", status);
  if (std::optional<CardState> state = cardStateOf(status)) {
    notifySlot(&SlotObserver::onStateChanged, *state);
  }
}

void ReaderKelvoReaderTranslator::onBatteryLevelChanged(uint8_t level) {
  TREVALON_TRACE_ARGS(std::to_string(level));
  notifyDevice(&DeviceObserver::onBatteryLevelChanged, level);
}

void ReaderKelvoReaderTranslator::onUsbCableStatusChanged(uint8_t status) {
  TREVALON_TRACE_ARGS(std::to_string(status));
  notifyDevice(&DeviceObserver::onUsbCableStatusChanged, status);
}

void ReaderKelvoReaderTranslator::onEncryptionChanged(uint8_t value) {
  TREVALON_TRACE_ARGS(std::to_string(value));
  notifyDevice(&DeviceObserver::onEncryptionChanged, value);
}

void ReaderKelvoReaderTranslator::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  notifyDevice(&DeviceObserver::onConnectedChanged, connected);
  if (connected && announcedAvailable.load()) {
    // The link dropped (after its idle period, say) and came back while the reader stayed in range: the
    // card status the reader functions forgot with the link must be asked again, or the card would stay
    // unknown, which the application takes for a card that left. Not on this thread: the connection is being
    // made for a request that is about to use the link.
    scheduleCardStatusRefresh();
  }
}

void ReaderKelvoReaderTranslator::scheduleCardStatusRefresh() {
  {
    // A link that keeps dropping and coming back must not start a thread each time: one refresh thread runs at
    // a time, and a reconnection while it runs has it ask once more when done.
    std::lock_guard<std::mutex> guard(refreshLock);
    if (refreshRunning) {
      refreshAgain = true;
      return;
    }
    refreshRunning = true;
    refreshAgain = false;
  }
  std::weak_ptr<ReaderKelvoReaderTranslator> self = sharedAs<ReaderKelvoReaderTranslator>();
  common::Worker::run([self] {
    common::setThreadName("CARD_STAT");
    for (;;) {
      std::shared_ptr<ReaderKelvoReaderTranslator> translator = self.lock();
      if (!translator) return;
      translator->refreshCardStatus();
      std::lock_guard<std::mutex> guard(translator->refreshLock);
      if (!translator->refreshAgain) {
        translator->refreshRunning = false;
        return;
      }
      translator->refreshAgain = false;
    }
  });
}

void ReaderKelvoReaderTranslator::refreshCardStatus() {
  TREVALON_TRACE();
  std::shared_ptr<kelvo::KelvoReader> reader = lower();
  // Asking loads the reader's device state, whose card status comes up as an event when it changed.
  if (reader && reader->isConnected()) reader->getCardStatus();
}

void ReaderKelvoReaderTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  if (available) {
    // The reader shows the workstation's name and keeps its working times by this clock; both matter before
    // anyone above starts using the reader, and neither failing makes the reader unusable.
    std::shared_ptr<kelvo::KelvoReader> reader = lower();
    std::shared_ptr<local::Machine> machine = local::Facade::instance().getMachine();
    if (reader) {
      reader->setClientName(machine ? machine->getName() : std::string());
      reader->setLocalTime();
    }
  }
  announcedAvailable.store(available);
  notifyDevice(&DeviceObserver::onAvailableChanged, available);
}

void ReaderKelvoReaderTranslator::onPairedChanged(bool paired) {
  TREVALON_TRACE_ARGS(paired ? "true" : "false");
  notifyDevice(&DeviceObserver::onPairedChanged, paired);
}

void ReaderKelvoReaderTranslator::onEvent(uint32_t value) {
  TREVALON_TRACE_ARGS(std::to_string(value));
  notifyDevice(&DeviceObserver::onEvent, value);
}

}  // namespace trevalon
