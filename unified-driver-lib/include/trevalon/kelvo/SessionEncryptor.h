// SPDX-License-Identifier: Apache-2.0
#pragma once
// The per-connection link key: AES-256-CCM with a 4-byte tag and a message counter that both directions
// share, so the reader must answer request n with counter n + 1. A counter value is used once: when the
// counter would wrap, the encryptor refuses to work and asks for renewal (a new session, a new key).

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "trevalon/Encryptor.h"
#include "trevalon/kelvo/KelvoBLEReader.h"

namespace trevalon::kelvo {

class SessionEncryptor : public Encryptor {
 public:
  static constexpr size_t kNonceSize = 13;
  static constexpr size_t kTagSize = 4;

  // `counter` is where the message counter starts: 0 for every session the reader agrees.
  SessionEncryptor(std::vector<uint8_t> key, const std::array<uint8_t, 8>& nonceTail, uint32_t counter = 0);

  // A session encryptor, or the long-term encryptor itself for a reader without session keys. A reader that
  // agreed a session once is remembered as able to (per address, beside its key): when such a reader claims
  // not to know session keys, that is taken for a forged or damaged answer and the connection fails instead
  // of falling back to the long-term key.
  static std::shared_ptr<Encryptor> create(const std::shared_ptr<KelvoBLEReader>& reader, bool allowRetry);
  static bool isKnownSessionCapable(const std::string& identifier);

  std::vector<uint8_t> encrypt(std::vector<uint8_t> plain) override;
  std::optional<std::vector<uint8_t>> decrypt(std::vector<uint8_t> data) override;
  // A request and its answer need two fresh counter values.
  bool needsRenewal() const override;

  std::array<uint8_t, kNonceSize> currentNonce() const;

  // Bytes 1 to 4 of the nonce are a big-endian message counter; byte 0 stays 0. True when the counter has
  // wrapped to 0, that is, when every value has been used.
  static bool advanceCounter(std::array<uint8_t, kNonceSize>& nonce);

 private:
  static void rememberSessionCapable(const std::string& identifier);
  uint32_t counterLocked() const;

  std::vector<uint8_t> key;
  std::array<uint8_t, kNonceSize> nonce{};
  bool exhausted = false;
  mutable std::mutex lock;
};

}  // namespace trevalon::kelvo
