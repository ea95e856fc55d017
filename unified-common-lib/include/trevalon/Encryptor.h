// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace trevalon {

// Both operations take their argument by value and return a new value. A ciphertext is never empty, so an
// empty encryption result means failure; a plaintext may well be empty (an answer without payload), so
// decryption says failure with an absent result instead.
class Encryptor {
 public:
  virtual ~Encryptor() = default;
  virtual std::optional<std::vector<uint8_t>> decrypt(std::vector<uint8_t> data) = 0;
  virtual std::vector<uint8_t> encrypt(std::vector<uint8_t> plain) = 0;
  // True when the encryptor must not be used for another exchange (a message counter about to run out).
  virtual bool needsRenewal() const { return false; }
};

}  // namespace trevalon
