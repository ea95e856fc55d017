#pragma once
// The per-connection link key: AES-256-CCM with a 4-byte tag and a message counter that both directions
// share, so the reader must answer request n with counter n + 1.

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "trevalon/Encryptor.h"
#include "trevalon/kelvo/KelvoBLEReader.h"

namespace trevalon::kelvo {

class SessionEncryptor : public Encryptor {
 public:
  static constexpr size_t kNonceSize = 13;
  static constexpr size_t kTagSize = 4;

  SessionEncryptor(std::vector<uint8_t> key, const std::array<uint8_t, 8>& nonceTail);

  // A session encryptor, or the long-term encryptor itself for a reader without session keys.
  static std::shared_ptr<Encryptor> create(const std::shared_ptr<KelvoBLEReader>& reader, bool allowRetry);

  std::vector<uint8_t> encrypt(std::vector<uint8_t> plain) override;
  std::vector<uint8_t> decrypt(std::vector<uint8_t> data) override;

  std::array<uint8_t, kNonceSize> currentNonce() const;

  // Bytes 1 to 4 of the nonce are a big-endian message counter that wraps within itself; byte 0 stays 0.
  static void advanceCounter(std::array<uint8_t, kNonceSize>& nonce);

 private:

  std::vector<uint8_t> key;
  std::array<uint8_t, kNonceSize> nonce{};
  mutable std::mutex lock;
};

}  // namespace trevalon::kelvo
