// SPDX-License-Identifier: Apache-2.0
#pragma once
// AES-256 in ECB mode with PKCS#7-style padding (1 to 16 bytes, always present). Used for readers without
// session keys and for the private settings values.

#include <memory>
#include <mutex>
#include <vector>

#include "trevalon/Encryptor.h"

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;

namespace trevalon {

class EncryptorAES : public Encryptor {
 public:
  static constexpr size_t kKeySize = 32;
  static constexpr size_t kBlockSize = 16;

  // A key of the wrong size or a failing cipher set-up is logged; the object then fails every operation.
  explicit EncryptorAES(const std::vector<uint8_t>& key);
  ~EncryptorAES() override;

  std::optional<std::vector<uint8_t>> decrypt(std::vector<uint8_t> data) override;
  std::vector<uint8_t> encrypt(std::vector<uint8_t> plain) override;

 private:
  bool cryptBlocks(EVP_CIPHER_CTX* context, const std::vector<uint8_t>& in, std::vector<uint8_t>& out);

  // Cipher contexts are not safe for concurrent use; one encryptor may serve several threads.
  std::mutex lock;
  EVP_CIPHER_CTX* encryptContext = nullptr;
  EVP_CIPHER_CTX* decryptContext = nullptr;
};

}  // namespace trevalon
