// SPDX-License-Identifier: Apache-2.0
#pragma once
// The Pentaloq link key: AES-256-ECB under 32 ASCII hexadecimal digits derived with PBKDF2 from an 8-byte
// short key. Requests are zero-filled to whole blocks; answers are decrypted whole, fill included.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalon/Encryptor.h"
#include "trevalon/token/TokenBLEReader.h"

namespace trevalon::token {

class TokenEncryptor : public Encryptor {
 public:
  using Key = std::array<uint8_t, 32>;
  static constexpr size_t kShortKeySize = 8;
  static constexpr size_t kBlockSize = 16;
  static constexpr int kIterations = 1024;

  explicit TokenEncryptor(const Key& key);

  // The stored key, confirmed by the reader, or a new one agreed with it; empty when none could be.
  static std::shared_ptr<TokenEncryptor> create(const std::shared_ptr<TokenBLEReader>& reader);
  static Key initKey(const std::vector<uint8_t>& shortKey, const std::string& salt);

  static std::optional<Key> loadKey(const std::string& address);
  static bool saveKey(const std::string& address, const Key& key);
  static void removeKey(const std::string& address);

  std::optional<std::vector<uint8_t>> decrypt(std::vector<uint8_t> data) override;
  std::vector<uint8_t> encrypt(std::vector<uint8_t> plain) override;

 private:
  static std::shared_ptr<TokenEncryptor> syncronizeKey(const std::shared_ptr<TokenBLEReader>& reader,
                                                       const std::string& address);
  static std::shared_ptr<TokenEncryptor> acceptRequestedKey(const std::shared_ptr<TokenBLEReader>& reader,
                                                            const std::string& address);
  static bool readerHolds(const std::shared_ptr<TokenBLEReader>& reader, TokenEncryptor& candidate);

  std::vector<uint8_t> crypt(std::vector<uint8_t> data, bool encrypting);

  const Key key;
};

}  // namespace trevalon::token
