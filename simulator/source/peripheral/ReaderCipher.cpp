// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/peripheral/ReaderCipher.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>

namespace kelvo::simulator {
namespace {

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;
using KeyHandle = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using DeriveContext = std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)>;

constexpr size_t kBlock = 16;

std::vector<uint8_t> ecb(const ReaderCipher::Key& key, const std::vector<uint8_t>& input, bool encrypt) {
  if (input.empty() || input.size() % kBlock != 0) return {};
  CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  std::vector<uint8_t> output(input.size() + kBlock);
  int written = 0;
  int finished = 0;
  if (!context ||
      EVP_CipherInit_ex(context.get(), EVP_aes_256_ecb(), nullptr, key.data(), nullptr, encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1 ||
      EVP_CipherUpdate(context.get(), output.data(), &written, input.data(), static_cast<int>(input.size())) != 1 ||
      EVP_CipherFinal_ex(context.get(), output.data() + written, &finished) != 1) {
    return {};
  }
  output.resize(static_cast<size_t>(written) + static_cast<size_t>(finished));
  return output;
}

}  // namespace

std::optional<std::vector<uint8_t>> ReaderCipher::randomBytes(size_t count) {
  std::vector<uint8_t> bytes(count);
  if (count > 0 && RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) return std::nullopt;
  return bytes;
}

std::optional<ReaderCipher::Key> ReaderCipher::x25519(const Key& scalar, const Key& point) {
  KeyHandle own(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, scalar.data(), scalar.size()), &EVP_PKEY_free);
  KeyHandle peer(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, point.data(), point.size()), &EVP_PKEY_free);
  if (!own || !peer) return std::nullopt;
  DeriveContext context(EVP_PKEY_CTX_new(own.get(), nullptr), &EVP_PKEY_CTX_free);
  Key shared{};
  size_t length = shared.size();
  if (!context || EVP_PKEY_derive_init(context.get()) != 1 ||
      EVP_PKEY_derive_set_peer(context.get(), peer.get()) != 1 ||
      EVP_PKEY_derive(context.get(), shared.data(), &length) != 1 || length != shared.size()) {
    return std::nullopt;
  }
  return shared;
}

std::vector<uint8_t> ReaderCipher::ecbEncrypt(const Key& key, const std::vector<uint8_t>& blocks) {
  return ecb(key, blocks, true);
}

std::vector<uint8_t> ReaderCipher::ecbDecrypt(const Key& key, const std::vector<uint8_t>& blocks) {
  return ecb(key, blocks, false);
}

std::vector<uint8_t> ReaderCipher::ccmEncrypt(const Key& key, const std::array<uint8_t, kNonceLength>& nonce,
                                              const std::vector<uint8_t>& plain) {
  CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  std::vector<uint8_t> output(plain.size() + kTagLength);
  int written = 0;
  if (!context || EVP_EncryptInit_ex(context.get(), EVP_aes_256_ccm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_SET_IVLEN, kNonceLength, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_SET_TAG, kTagLength, nullptr) != 1 ||
      EVP_EncryptInit_ex(context.get(), nullptr, nullptr, key.data(), nonce.data()) != 1 ||
      EVP_EncryptUpdate(context.get(), nullptr, &written, nullptr, static_cast<int>(plain.size())) != 1 ||
      EVP_EncryptUpdate(context.get(), output.data(), &written, plain.data(), static_cast<int>(plain.size())) != 1 ||
      EVP_EncryptFinal_ex(context.get(), output.data() + written, &written) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_GET_TAG, kTagLength, output.data() + plain.size()) != 1) {
    return {};
  }
  return output;
}

std::optional<std::vector<uint8_t>> ReaderCipher::ccmDecrypt(const Key& key,
                                                             const std::array<uint8_t, kNonceLength>& nonce,
                                                             const std::vector<uint8_t>& sealed) {
  if (sealed.size() < kTagLength) return std::nullopt;
  const size_t textLength = sealed.size() - kTagLength;
  std::vector<uint8_t> tag(sealed.begin() + static_cast<long>(textLength), sealed.end());
  CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  std::vector<uint8_t> plain(textLength + 1);
  int written = 0;
  if (!context || EVP_DecryptInit_ex(context.get(), EVP_aes_256_ccm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_SET_IVLEN, kNonceLength, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_SET_TAG, kTagLength, tag.data()) != 1 ||
      EVP_DecryptInit_ex(context.get(), nullptr, nullptr, key.data(), nonce.data()) != 1 ||
      EVP_DecryptUpdate(context.get(), nullptr, &written, nullptr, static_cast<int>(textLength)) != 1 ||
      EVP_DecryptUpdate(context.get(), plain.data(), &written, sealed.data(), static_cast<int>(textLength)) != 1) {
    return std::nullopt;
  }
  plain.resize(textLength);
  return plain;
}

}  // namespace kelvo::simulator
