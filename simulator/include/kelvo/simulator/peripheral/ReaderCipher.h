// SPDX-License-Identifier: Apache-2.0
#pragma once
// The emulated reader's cryptography on OpenSSL EVP: X25519, AES-256 in ECB and CCM, and its random source.
// Written from the reader's side on purpose: it shares nothing with the host's encryptors, so a fault there
// cannot hide behind the same fault here.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo::simulator {

class ReaderCipher {
 public:
  using Key = std::array<uint8_t, 32>;
  static constexpr size_t kTagLength = 4;
  static constexpr size_t kNonceLength = 13;

  // Empty when the generator fails.
  static std::optional<std::vector<uint8_t>> randomBytes(size_t count);
  // X25519(scalar, u); empty when OpenSSL refuses (an all-zero result for a low-order point).
  static std::optional<Key> x25519(const Key& scalar, const Key& point);
  // Whole 16-byte blocks, no padding; empty for other lengths.
  static std::vector<uint8_t> ecbEncrypt(const Key& key, const std::vector<uint8_t>& blocks);
  static std::vector<uint8_t> ecbDecrypt(const Key& key, const std::vector<uint8_t>& blocks);
  // Ciphertext followed by the 4-byte tag.
  static std::vector<uint8_t> ccmEncrypt(const Key& key, const std::array<uint8_t, kNonceLength>& nonce,
                                         const std::vector<uint8_t>& plain);
  // Empty when the tag does not verify.
  static std::optional<std::vector<uint8_t>> ccmDecrypt(const Key& key, const std::array<uint8_t, kNonceLength>& nonce,
                                                        const std::vector<uint8_t>& sealed);
};

}  // namespace kelvo::simulator
