// SPDX-License-Identifier: Apache-2.0
#include "trevalon/token/TokenBLEReaderCryptoProxy.h"

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/token/TokenFunctions.h"

namespace trevalon::token {

std::string TokenBLEReaderCryptoProxy::getAddress() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower ? lower->getAddress() : std::string();
}

std::string TokenBLEReaderCryptoProxy::getId() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower ? lower->getId() : std::string();
}

bool TokenBLEReaderCryptoProxy::isConnected() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower && lower->isConnected();
}

bool TokenBLEReaderCryptoProxy::isAvailable() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower && lower->isAvailable();
}

bool TokenBLEReaderCryptoProxy::isPaired() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower && lower->isPaired();
}

bool TokenBLEReaderCryptoProxy::setPaired(bool paired) {
  TREVALON_TRACE_ARGS(paired ? "true" : "false");
  auto lower = getMaster();
  return lower && lower->setPaired(paired);
}

std::shared_ptr<TokenEncryptor> TokenBLEReaderCryptoProxy::currentEncryptor() {
  std::lock_guard<std::mutex> guard(encryptorLock);
  return encryptor;
}

std::vector<uint8_t> TokenBLEReaderCryptoProxy::transmitRaw(std::vector<uint8_t> request, bool encrypt) {
  TREVALON_TRACE_ARGS(TokenFunctions::frameTrace(request) + (encrypt ? ", true" : ", false"));
  std::shared_ptr<TokenBLEReader> lower = getMaster();
  if (!lower) return {};
  if (!encrypt) return lower->transmitRaw(std::move(request), false);
  // Our own reference: the key may be dropped by an availability change while this exchange runs.
  std::shared_ptr<TokenEncryptor> current = currentEncryptor();
  if (!current) {
    TREVALON_LOG(error, "Key was not exchanged!");
    return {};
  }
  std::vector<uint8_t> answer = lower->transmitRaw(current->encrypt(std::move(request)), false);
  return current->decrypt(std::move(answer)).value_or(std::vector<uint8_t>());
}

void TokenBLEReaderCryptoProxy::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  std::shared_ptr<TokenEncryptor> next;
  if (available) {
    if (std::shared_ptr<TokenBLEReader> lower = getMaster()) next = TokenEncryptor::create(lower);
  }
  {
    std::lock_guard<std::mutex> guard(encryptorLock);
    encryptor = next;
  }
  notifyObservers(&TokenBLEReaderObserver::onAvailableChanged, available);
}

void TokenBLEReaderCryptoProxy::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  notifyObservers(&TokenBLEReaderObserver::onConnectedChanged, connected);
}

std::vector<uint8_t> TokenBLEReaderCryptoProxy::onKeyRequested() {
  TREVALON_TRACE();
  return callObserver(&TokenBLEReaderObserver::onKeyRequested);
}

}  // namespace trevalon::token
