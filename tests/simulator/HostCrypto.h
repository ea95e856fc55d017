// SPDX-License-Identifier: Apache-2.0
#pragma once
// The host's half of the link encryption, computed by the test itself with OpenSSL, so that the emulated
// reader is checked against an independent implementation rather than against its own code.

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kelvo::test {

class HostCrypto {
 public:
  using Bytes = std::vector<uint8_t>;

  static Bytes random(size_t count) {
    Bytes bytes(count);
    RAND_bytes(bytes.data(), static_cast<int>(count));
    return bytes;
  }

  static std::optional<Bytes> x25519(const Bytes& scalar, const Bytes& point) {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> own(
        EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, scalar.data(), scalar.size()), &EVP_PKEY_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> peer(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, point.data(), point.size()), &EVP_PKEY_free);
    if (!own || !peer) return std::nullopt;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new(own.get(), nullptr),
                                                                        &EVP_PKEY_CTX_free);
    Bytes shared(32);
    size_t length = shared.size();
    if (EVP_PKEY_derive_init(context.get()) != 1 || EVP_PKEY_derive_set_peer(context.get(), peer.get()) != 1 ||
        EVP_PKEY_derive(context.get(), shared.data(), &length) != 1) {
      return std::nullopt;
    }
    return shared;
  }

  static Bytes ecb(const Bytes& key, const Bytes& input, bool encrypt) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    Bytes output(input.size() + 16);
    int written = 0;
    int last = 0;
    EVP_CipherInit_ex(context.get(), EVP_aes_256_ecb(), nullptr, key.data(), nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    if (EVP_CipherUpdate(context.get(), output.data(), &written, input.data(), static_cast<int>(input.size())) != 1 ||
        EVP_CipherFinal_ex(context.get(), output.data() + written, &last) != 1) {
      return {};
    }
    output.resize(static_cast<size_t>(written) + static_cast<size_t>(last));
    return output;
  }

  // Plain text padded with N bytes of N, then encrypted block by block.
  static Bytes ecbSeal(const Bytes& key, Bytes plain) {
    const size_t count = 16 - plain.size() % 16;
    plain.insert(plain.end(), count, static_cast<uint8_t>(count));
    return ecb(key, plain, true);
  }

  static std::array<uint8_t, 13> nonce(uint32_t counter, const Bytes& tail) {
    std::array<uint8_t, 13> value{};
    value[1] = static_cast<uint8_t>(counter >> 24);
    value[2] = static_cast<uint8_t>(counter >> 16);
    value[3] = static_cast<uint8_t>(counter >> 8);
    value[4] = static_cast<uint8_t>(counter);
    std::copy(tail.begin(), tail.end(), value.begin() + 5);
    return value;
  }

  static Bytes ccmSeal(const Bytes& key, const std::array<uint8_t, 13>& nonce, const Bytes& plain) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    Bytes output(plain.size() + 4);
    int written = 0;
    EVP_EncryptInit_ex(context.get(), EVP_aes_256_ccm(), nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_SET_IVLEN, 13, nullptr);
    EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_SET_TAG, 4, nullptr);
    EVP_EncryptInit_ex(context.get(), nullptr, nullptr, key.data(), nonce.data());
    EVP_EncryptUpdate(context.get(), nullptr, &written, nullptr, static_cast<int>(plain.size()));
    EVP_EncryptUpdate(context.get(), output.data(), &written, plain.data(), static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(context.get(), output.data() + written, &written);
    EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_GET_TAG, 4, output.data() + plain.size());
    return output;
  }

  static std::optional<Bytes> ccmOpen(const Bytes& key, const std::array<uint8_t, 13>& nonce, const Bytes& sealed) {
    if (sealed.size() < 5) return std::nullopt;
    const size_t length = sealed.size() - 4;
    Bytes tag(sealed.end() - 4, sealed.end());
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    Bytes plain(length);
    int written = 0;
    EVP_DecryptInit_ex(context.get(), EVP_aes_256_ccm(), nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_SET_IVLEN, 13, nullptr);
    EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_CCM_SET_TAG, 4, tag.data());
    EVP_DecryptInit_ex(context.get(), nullptr, nullptr, key.data(), nonce.data());
    EVP_DecryptUpdate(context.get(), nullptr, &written, nullptr, static_cast<int>(length));
    if (EVP_DecryptUpdate(context.get(), plain.data(), &written, sealed.data(), static_cast<int>(length)) <= 0) {
      return std::nullopt;
    }
    return plain;
  }
};

}  // namespace kelvo::test
