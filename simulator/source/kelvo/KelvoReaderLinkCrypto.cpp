// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/kelvo/KelvoReaderLinkCrypto.h"

#include <algorithm>

namespace kelvo::simulator {
namespace {

constexpr size_t kPointLength = 32;
constexpr size_t kSessionRandomLength = 20;
constexpr size_t kBlock = 16;
constexpr uint8_t kMarker = 0xFF;

ReaderCipher::Key keyFrom(const uint8_t* bytes) {
  ReaderCipher::Key key{};
  std::copy(bytes, bytes + key.size(), key.begin());
  return key;
}

std::vector<uint8_t> pad(std::vector<uint8_t> data) {
  const size_t count = kBlock - data.size() % kBlock;
  data.insert(data.end(), count, static_cast<uint8_t>(count));
  return data;
}

std::optional<std::vector<uint8_t>> unpad(std::vector<uint8_t> data) {
  if (data.empty()) return std::nullopt;
  const size_t count = data.back();
  if (count < 1 || count > kBlock || count > data.size()) return std::nullopt;
  for (size_t i = data.size() - count; i < data.size(); ++i) {
    if (data[i] != count) return std::nullopt;
  }
  data.resize(data.size() - count);
  return data;
}

}  // namespace

KelvoReaderLinkCrypto::AgreementResult KelvoReaderLinkCrypto::exchangeKey(const std::vector<uint8_t>& payload,
                                                                          std::vector<uint8_t>& answer) {
  if (payload.size() != 2 * kPointLength) return AgreementResult::malformed;
  std::optional<std::vector<uint8_t>> secret = ReaderCipher::randomBytes(kPointLength);
  if (!secret) return AgreementResult::noRandom;
  const ReaderCipher::Key own = keyFrom(secret->data());
  std::optional<ReaderCipher::Key> reply = ReaderCipher::x25519(own, keyFrom(payload.data()));
  std::optional<ReaderCipher::Key> shared = ReaderCipher::x25519(own, keyFrom(payload.data() + kPointLength));
  if (!reply || !shared) return AgreementResult::malformed;
  pending = shared;
  answer.assign(reply->begin(), reply->end());
  return AgreementResult::done;
}

bool KelvoReaderLinkCrypto::saveKey() {
  if (!pending) return false;
  longTerm = pending;
  pending.reset();
  return true;
}

KelvoReaderLinkCrypto::SessionResult KelvoReaderLinkCrypto::exchangeSessionKey(const std::vector<uint8_t>& payload,
                                                                               std::vector<uint8_t>& answer) {
  if (payload.size() != kSessionRandomLength + 1) return SessionResult::malformed;
  if (!longTerm) return SessionResult::noLongTermKey;
  std::optional<std::vector<uint8_t>> own = ReaderCipher::randomBytes(kSessionRandomLength);
  if (!own) return SessionResult::noRandom;
  std::vector<uint8_t> blocks(payload.begin(), payload.begin() + kBlock);
  blocks.insert(blocks.end(), own->begin(), own->begin() + kBlock);
  const std::vector<uint8_t> derived = ReaderCipher::ecbEncrypt(*longTerm, blocks);
  if (derived.size() != 2 * kBlock) return SessionResult::noRandom;
  Session fresh;
  fresh.key = keyFrom(derived.data());
  std::copy(payload.begin() + kBlock, payload.begin() + kSessionRandomLength, fresh.tail.begin());
  std::copy(own->begin() + kBlock, own->end(), fresh.tail.begin() + 4);
  session = fresh;
  answer = *own;
  return SessionResult::done;
}

std::array<uint8_t, ReaderCipher::kNonceLength> KelvoReaderLinkCrypto::nextNonce() {
  std::array<uint8_t, ReaderCipher::kNonceLength> nonce{};
  const uint32_t counter = session->counter++;
  nonce[1] = static_cast<uint8_t>(counter >> 24);
  nonce[2] = static_cast<uint8_t>(counter >> 16);
  nonce[3] = static_cast<uint8_t>(counter >> 8);
  nonce[4] = static_cast<uint8_t>(counter);
  std::copy(session->tail.begin(), session->tail.end(), nonce.begin() + 5);
  return nonce;
}

KelvoReaderLinkCrypto::Opened KelvoReaderLinkCrypto::open(const std::vector<uint8_t>& frame) {
  if (session) return openSession(frame);
  if (longTerm) return openLongTerm(frame);
  Opened refused;
  refused.failure = kStatusNoKey;
  return refused;
}

KelvoReaderLinkCrypto::Opened KelvoReaderLinkCrypto::openSession(const std::vector<uint8_t>& frame) {
  Opened result;
  result.mode = Mode::session;
  // The request's counter is used up whatever happens, so the answer still travels under n + 1.
  const std::array<uint8_t, ReaderCipher::kNonceLength> nonce = nextNonce();
  std::optional<std::vector<uint8_t>> plain;
  if (frame.size() > 1 + ReaderCipher::kTagLength) {
    plain = ReaderCipher::ccmDecrypt(session->key, nonce, std::vector<uint8_t>(frame.begin() + 1, frame.end()));
  }
  if (!plain || plain->empty()) {
    result.failure = kStatusBadRequest;
    return result;
  }
  result.request = std::move(*plain);
  return result;
}

KelvoReaderLinkCrypto::Opened KelvoReaderLinkCrypto::openLongTerm(const std::vector<uint8_t>& frame) {
  Opened result;
  result.mode = Mode::longTerm;
  std::optional<std::vector<uint8_t>> plain =
      unpad(ReaderCipher::ecbDecrypt(*longTerm, std::vector<uint8_t>(frame.begin() + 1, frame.end())));
  if (!plain || plain->empty()) {
    result.failure = kStatusBadRequest;
    return result;
  }
  result.request = std::move(*plain);
  return result;
}

std::vector<uint8_t> KelvoReaderLinkCrypto::seal(const std::vector<uint8_t>& response, Mode mode) {
  if (response.empty()) return response;
  if (mode == Mode::session && session) {
    return ReaderCipher::ccmEncrypt(session->key, nextNonce(), response);
  }
  if (mode == Mode::longTerm && longTerm) {
    // The status byte travels in the clear in front of the encrypted payload.
    std::vector<uint8_t> sealed{response.front()};
    const std::vector<uint8_t> blocks =
        ReaderCipher::ecbEncrypt(*longTerm, pad(std::vector<uint8_t>(response.begin() + 1, response.end())));
    sealed.insert(sealed.end(), blocks.begin(), blocks.end());
    return sealed;
  }
  return response;
}

void KelvoReaderLinkCrypto::endSession() { session.reset(); }

void KelvoReaderLinkCrypto::forgetLongTermKey() {
  longTerm.reset();
  pending.reset();
  session.reset();
}

std::optional<uint32_t> KelvoReaderLinkCrypto::sessionCounter() const {
  if (!session) return std::nullopt;
  return session->counter;
}

}  // namespace kelvo::simulator
