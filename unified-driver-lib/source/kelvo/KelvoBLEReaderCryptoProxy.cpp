// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/KelvoBLEReaderCryptoProxy.h"

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/kelvo/AnswerWait.h"
#include "trevalon/kelvo/KelvoNames.h"
#include "trevalon/kelvo/LongTermEncryptor.h"
#include "trevalon/kelvo/SessionEncryptor.h"

namespace trevalon::kelvo {
namespace {

constexpr uint8_t kExchangeKey = 3;
constexpr uint8_t kExchangeSessionKey = 160;
constexpr uint8_t kCommandPostDisconnection = 8;
constexpr uint8_t kOutOfRandomNumbers = 3;

uint8_t knownMethod(uint8_t id) { return std::string(KelvoNames::method(id)) == "Unknown" ? 0xFF : id; }

uint8_t knownStatus(uint8_t status) {
  return (status <= 10 || status == KelvoBLEReader::kStatusTransferFailed) ? status : 0xFF;
}

}  // namespace

uint8_t KelvoBLEReaderCryptoProxy::getActiveEncryption() {
  TREVALON_TRACE();
  return activeEncryption.load();
}

bool KelvoBLEReaderCryptoProxy::setActiveEncryption(uint8_t value) {
  TREVALON_TRACE_ARGS(std::to_string(value));
  if (value == 0) {
    // Without the link lock: a reader that went away must be reported at once, not after the exchange that
    // is still waiting for it. The old encryptor is never used again (requests need state 1) and is replaced
    // by the next agreement.
    sessionStale = true;
    if (activeEncryption.exchange(0) != 0) {
      notifyObservers(&KelvoBLEReaderObserver::onActiveEncryptionChanged, value);
    }
    return true;
  }
  std::unique_lock<std::recursive_mutex> link(linkLock);
  if (value == activeEncryption) {
    return true;
  }
  if (value != 1) {
    TREVALON_LOG(warning, "Unknown encryption format");
    return false;
  }
  std::shared_ptr<Encryptor> replacement = agree(true);
  if (!replacement) {
    TREVALON_LOG(warning, "Encryption could not be set!");
    return false;
  }
  encryptor = replacement;
  activeEncryption = value;
  link.unlock();
  notifyObservers(&KelvoBLEReaderObserver::onActiveEncryptionChanged, value);
  return true;
}

std::shared_ptr<Encryptor> KelvoBLEReaderCryptoProxy::agree(bool keepLongTermKey) {
  // Called with linkLock held. The agreement travels in plain through our own transmitRaw; a link that drops
  // while it runs marks the new session stale again.
  std::shared_ptr<KelvoBLEReader> lower = getMaster();
  if (!lower) {
    return nullptr;
  }
  if (!keepLongTermKey) {
    LongTermEncryptor::removeKey(lower->getId());
  }
  encryptor.reset();
  sessionStale = false;
  agreeing = true;
  std::shared_ptr<Encryptor> agreed = SessionEncryptor::create(sharedAs<KelvoBLEReader>(), true);
  agreeing = false;
  if (!agreed) {
    // The agreement may have taken an earlier answer for its own while its own is still on the way.
    sessionStale = true;
    outOfStep = true;
  }
  return agreed;
}

bool KelvoBLEReaderCryptoProxy::renewSessionIfDue(bool& switchedOn) {
  if (activeEncryption != 1) {
    // The first use of a reader is what brings its link up (and with it the availability that would agree the
    // key): the agreement goes first, so that nothing leaves in plain.
    encryptor = agree(true);
    if (!encryptor) {
      TREVALON_LOG(warning, "the link is not encrypted: the request is not sent");
      return false;
    }
    activeEncryption = 1;
    switchedOn = true;
    return true;
  }
  if (encryptor && !sessionStale && !encryptor->needsRenewal()) {
    return true;
  }
  TREVALON_LOG(info, "the link's session is renewed");
  encryptor = agree(true);
  if (!encryptor) {
    TREVALON_LOG(warning, "no session could be agreed for the request");
    return false;
  }
  return true;
}

std::vector<uint8_t> KelvoBLEReaderCryptoProxy::exchange(const std::shared_ptr<KelvoBLEReader>& lower,
                                                         const std::vector<uint8_t>& request, bool recover) {
  AnswerWait wait(AnswerWait::forMethod(request[0]));
  std::shared_ptr<Encryptor> current = encryptor;
  if (!current) {
    // renewSessionIfDue leaves an encryptor or stops the request; nothing leaves in plain from here.
    return {kStatusTransferFailed};
  }
  std::vector<uint8_t> sealed = current->encrypt(request);
  if (sealed.empty()) {
    sessionStale = true;
    return {};
  }
  return openAnswer(current, lower->transmitRaw(std::move(sealed), recover));
}

std::vector<uint8_t> KelvoBLEReaderCryptoProxy::openAnswer(const std::shared_ptr<Encryptor>& current,
                                                           const std::vector<uint8_t>& response) {
  // Whatever went wrong below, the reader may have used counter values we did not see.
  const bool counted = dynamic_cast<const SessionEncryptor*>(current.get()) != nullptr;
  if (response.size() <= 1) {
    // Nothing, our own transfer failure, or a reader that could not open the request and has no key to answer
    // under: a lone status byte in plain. Such a byte may report an error, never a success.
    if (counted) sessionStale = true;
    if (!response.empty() && response[0] == kStatusSuccess) {
      TREVALON_LOG(error, "an unencrypted success cannot answer an encrypted request");
      return {};
    }
    return response;
  }
  std::optional<std::vector<uint8_t>> plain = current->decrypt(response);
  if (!plain || plain->empty()) {
    if (counted) sessionStale = true;
    return {};
  }
  return *plain;
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

bool KelvoBLEReaderCryptoProxy::recoverKeyState(int renewal) {
  TREVALON_LOG(info, "key is not set on the device");
  // A lone status byte is unprotected: before the stored key is thrown away, a fresh session with it must
  // have failed as well.
  const bool keepLongTermKey = renewal == 1;
  if (!keepLongTermKey) {
    TREVALON_LOG(info, "a fresh session did not help: a new long-term key is agreed");
  }
  encryptor = agree(keepLongTermKey);
  return encryptor != nullptr;
}

std::vector<uint8_t> KelvoBLEReaderCryptoProxy::transmitRaw(std::vector<uint8_t> request, bool recover) {
  TREVALON_TRACE_ARGS(KelvoNames::requestTrace(request) + (recover ? ", true" : ", false"));
  std::shared_ptr<KelvoBLEReader> lower = getMaster();
  if (!lower || request.empty()) {
    TREVALON_LOG(error, "Expected response to be at least 1 byte long");
    return {};
  }
  bool switchedOn = false;
  std::vector<uint8_t> response = transmitLocked(lower, request, recover, switchedOn);
  if (switchedOn) {
    notifyObservers(&KelvoBLEReaderObserver::onActiveEncryptionChanged, uint8_t{1});
  }
  return response;
}

std::vector<uint8_t> KelvoBLEReaderCryptoProxy::transmitLocked(const std::shared_ptr<KelvoBLEReader>& lower,
                                                               const std::vector<uint8_t>& request, bool recover,
                                                               bool& switchedOn) {
  std::lock_guard<std::recursive_mutex> link(linkLock);
  const uint8_t method = knownMethod(request[0]);
  for (int renewals = 0;;) {
    if (!agreeing && outOfStep.exchange(false)) {
      lower->dropAnswersInFlight();
    }
    std::vector<uint8_t> response;
    if (agreeing) {
      // The agreement's own messages, on the thread that agrees: in plain, never renewing anything.
      response = lower->transmitRaw(request, false);
    } else if (!renewSessionIfDue(switchedOn)) {
      return {kStatusTransferFailed};
    } else {
      response = exchange(lower, request, recover);
    }
    if (response.empty() || response[0] == kStatusTransferFailed) {
      // Timed out, cut short, or an answer that did not open: its own answer may still be coming.
      outOfStep = true;
    }
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
        if (!recover || agreeing) {
          return response;
        }
        if (renewals == kMaxRekeyings) {
          TREVALON_LOG(warning, "Communication failed");
          return {kStatusTransferFailed};
        }
        if (!recoverKeyState(++renewals)) {
          return response;
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

void KelvoBLEReaderCryptoProxy::onActiveEncryptionChanged(uint8_t /*state*/) { TREVALON_TRACE(); }

void KelvoBLEReaderCryptoProxy::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  // The reader ends its session with the link; ours must not outlive it. A fresh link carries no old answers.
  if (!connected) sessionStale = true;
  if (connected) outOfStep = false;
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
