#include "trevalon/kelvo/KelvoBLEReaderCryptoProxy.h"

#include "trevalon/common/HexText.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/NamedLock.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/kelvo/KelvoNames.h"
#include "trevalon/kelvo/LongTermEncryptor.h"
#include "trevalon/kelvo/SessionEncryptor.h"

namespace trevalon::kelvo {
namespace {

constexpr uint8_t kExchangeKey = 3;
constexpr uint8_t kExchangeSessionKey = 160;
constexpr uint8_t kCommandPostDisconnection = 8;
constexpr uint8_t kOutOfRandomNumbers = 3;

uint8_t knownMethod(uint8_t id) {
  return std::string(KelvoNames::method(id)) == "Unknown" ? 0xFF : id;
}

uint8_t knownStatus(uint8_t status) {
  return (status <= 10 || status == KelvoBLEReader::kStatusTransferFailed) ? status : 0xFF;
}

}  // namespace

uint8_t KelvoBLEReaderCryptoProxy::getActiveEncryption() {
  TREVALON_TRACE();
  std::lock_guard<std::mutex> guard(stateLock);
  return activeEncryption;
}

bool KelvoBLEReaderCryptoProxy::setActiveEncryption(uint8_t value) {
  TREVALON_TRACE_ARGS(std::to_string(value));
  std::unique_lock<std::mutex> guard(stateLock);
  if (value == activeEncryption) {
    return true;
  }
  std::shared_ptr<Encryptor> replacement;
  if (value == 1) {
    // Agreed through our own transmitRaw while no encryptor is installed: the agreement travels in plain.
    {
      TREVALON_LABELLED_LOCK(lock, "encryptor", encryptorLock);
      encryptor.reset();
    }
    replacement = SessionEncryptor::create(sharedAs<KelvoBLEReader>(), true);
    if (!replacement) {
      TREVALON_LOG(warning, "Encryption could not be set!");
      return false;
    }
  } else if (value != 0) {
    TREVALON_LOG(warning, "Unknown encryption format");
    return false;
  }
  {
    TREVALON_LABELLED_LOCK(lock, "encryptor", encryptorLock);
    encryptor = replacement;
  }
  activeEncryption = value;
  guard.unlock();
  notifyObservers(&KelvoBLEReaderObserver::onActiveEncryptionChanged, value);
  return true;
}

std::vector<uint8_t> KelvoBLEReaderCryptoProxy::exchange(const std::shared_ptr<KelvoBLEReader>& lower,
                                                         const std::vector<uint8_t>& request, bool recover) {
  // One lock from encryption to decryption keeps the shared message counter in step with the reader.
  TREVALON_LABELLED_LOCK(lock, "encryptor", encryptorLock);
  std::shared_ptr<Encryptor> current = encryptor;
  if (!current) {
    return lower->transmitRaw(request, recover);
  }
  std::vector<uint8_t> sealed = current->encrypt(request);
  if (sealed.empty()) {
    return {};
  }
  const std::vector<uint8_t> response = lower->transmitRaw(std::move(sealed), recover);
  // A reader that cannot use our key (it lost it, or never had it) can only answer in plain: its lone status
  // byte must reach the recovery below instead of failing decryption.
  if (response.size() == 1) {
    return response;
  }
  return current->decrypt(response);
}

void KelvoBLEReaderCryptoProxy::logExtendedStatus(uint8_t method, const std::vector<uint8_t>& response) {
  if (response.size() < 2) {
    return;
  }
  if (method == kExchangeKey || method == kExchangeSessionKey) {
    const uint8_t extended = (response[1] >= 1 && response[1] <= 4) ? response[1] : 0xFF;
    if (extended == kOutOfRandomNumbers) {
      TREVALON_LOG(info, "Device has run out of random numbers");
      indicate(kCommandPostDisconnection, {});
    } else {
      TREVALON_LOG(warning, "ExchangeKey failed with extended status %i", extended);
    }
    return;
  }
  TREVALON_LOG(warning, "Method %i failed with extended status %i", method, response[1]);
}

bool KelvoBLEReaderCryptoProxy::renewKeys(const std::shared_ptr<KelvoBLEReader>& lower) {
  TREVALON_LOG(info, "key is not set on the device");
  setActiveEncryption(0);
  LongTermEncryptor::removeKey(lower->getId());
  return setActiveEncryption(1);
}

std::vector<uint8_t> KelvoBLEReaderCryptoProxy::transmitRaw(std::vector<uint8_t> request, bool recover) {
  TREVALON_TRACE_ARGS(KelvoNames::requestTrace(request) + (recover ? ", true" : ", false"));
  std::shared_ptr<KelvoBLEReader> lower = getMaster();
  if (!lower || request.empty()) {
    TREVALON_LOG(error, "Expected response to be at least 1 byte long");
    return {};
  }
  const uint8_t method = knownMethod(request[0]);
  for (int attempts = 0;;) {
    std::vector<uint8_t> response = exchange(lower, request, recover);
    if (response.empty()) {
      TREVALON_LOG(error, "Expected response to be at least 1 byte long");
      return response;
    }
    const uint8_t status = knownStatus(response[0]);
    switch (status) {
      case 0:
        return response;
      case 9:
      case 10:
        TREVALON_LOG(warning, "Unhandled Status: 0x%X", status);
        return response;
      case 3:
        logExtendedStatus(method, response);
        return response;
      case 4:
      case 5:
      case 6:
      case 7:
        if (!recover || !renewKeys(lower)) {
          return response;
        }
        if (++attempts >= kMaxRekeyings) {
          TREVALON_LOG(warning, "Communication failed");
          return {kStatusTransferFailed};
        }
        continue;
      default:
        TREVALON_LOG(error, "error status: 0x%X", status);
        return response;
    }
  }
}

std::string KelvoBLEReaderCryptoProxy::getAddress() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower ? lower->getAddress() : std::string();
}

std::string KelvoBLEReaderCryptoProxy::getId() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower ? lower->getId() : std::string();
}

bool KelvoBLEReaderCryptoProxy::isConnected() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->isConnected();
}

bool KelvoBLEReaderCryptoProxy::isAvailable() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->isAvailable();
}

bool KelvoBLEReaderCryptoProxy::isPaired() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->isPaired();
}

bool KelvoBLEReaderCryptoProxy::setPaired(bool paired) {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->setPaired(paired);
}

bool KelvoBLEReaderCryptoProxy::indicate(uint8_t command, std::vector<uint8_t> data) {
  TREVALON_TRACE_ARGS(KelvoNames::command(command));
  auto lower = getMaster();
  return lower && lower->indicate(command, std::move(data));
}

bool KelvoBLEReaderCryptoProxy::stateQuery() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->stateQuery();
}

uint64_t KelvoBLEReaderCryptoProxy::updateMtu(uint64_t size) {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower ? lower->updateMtu(size) : 0;
}

void KelvoBLEReaderCryptoProxy::onActiveEncryptionChanged(uint8_t /*state*/) {
  TREVALON_TRACE();
}

void KelvoBLEReaderCryptoProxy::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  notifyObservers(&KelvoBLEReaderObserver::onConnectedChanged, connected);
}

void KelvoBLEReaderCryptoProxy::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  if (!setActiveEncryption(available ? 1 : 0)) {
    TREVALON_LOG(warning, "Connection abourted");
    return;
  }
  notifyObservers(&KelvoBLEReaderObserver::onAvailableChanged, available);
}

void KelvoBLEReaderCryptoProxy::onPairedChanged(bool paired) {
  TREVALON_TRACE();
  notifyObservers(&KelvoBLEReaderObserver::onPairedChanged, paired);
}

void KelvoBLEReaderCryptoProxy::notified(uint8_t id, std::vector<uint8_t> data) {
  TREVALON_TRACE();
  notifyObservers(&KelvoBLEReaderObserver::notified, id, data);
}

void KelvoBLEReaderCryptoProxy::onEvent(uint32_t value) {
  TREVALON_TRACE();
  notifyObservers(&KelvoBLEReaderObserver::onEvent, value);
}

}  // namespace trevalon::kelvo
