// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "LogCapture.h"
#include "trevalon/EncryptorAES.h"

using trevalon::EncryptorAES;
using kelvo::test::LogCapture;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes fipsKey() {
  Bytes key(32);
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i);
  return key;
}

// One raw AES-256 block operation, computed here independently of the encryptor.
Bytes rawBlock(const Bytes& key, const Bytes& block, bool encrypting) {
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(context, EVP_aes_256_ecb(), nullptr, key.data(), nullptr, encrypting ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(context, 0);
  Bytes out(block.size());
  int n = 0;
  EVP_CipherUpdate(context, out.data(), &n, block.data(), static_cast<int>(block.size()));
  EVP_CIPHER_CTX_free(context);
  return out;
}

TEST(EncryptorAES, KnownAnswerAndAWholePaddingBlockForFullBlocks) {
  EncryptorAES aes(fipsKey());
  const Bytes plain = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  const Bytes cipher = aes.encrypt(plain);
  ASSERT_EQ(cipher.size(), 32u);
  const Bytes expectedFirst = {0x8e, 0xa2, 0xb7, 0xca, 0x51, 0x67, 0x45, 0xbf,
                               0xea, 0xfc, 0x49, 0x90, 0x4b, 0x49, 0x60, 0x89};
  EXPECT_EQ(Bytes(cipher.begin(), cipher.begin() + 16), expectedFirst);
  EXPECT_EQ(Bytes(cipher.begin() + 16, cipher.end()), rawBlock(fipsKey(), Bytes(16, 0x10), true));
  EXPECT_EQ(aes.decrypt(cipher), plain);
}

TEST(EncryptorAES, RoundTripsEveryLengthAroundTheBlockSize) {
  EncryptorAES aes(fipsKey());
  for (size_t length = 0; length <= 33; ++length) {
    Bytes plain(length);
    for (size_t i = 0; i < length; ++i) plain[i] = static_cast<uint8_t>(i * 7 + 1);
    const Bytes cipher = aes.encrypt(plain);
    EXPECT_EQ(cipher.size(), (length / 16 + 1) * 16) << length;
    // Nothing encrypted is something too: an empty plaintext comes back empty, not as a failure.
    EXPECT_EQ(aes.decrypt(cipher), std::optional<Bytes>(plain)) << length;
  }
}

TEST(EncryptorAES, MalformedCiphertextIsRefusedWithItsReason) {
  EncryptorAES aes(fipsKey());
  struct Case {
    Bytes data;
    const char* message;  // logged at the error level
  };
  Bytes badValues(16, 0x03);
  badValues[13] = 0x04;
  const Case cases[] = {
      {Bytes(), "Invalid size 0"},
      {Bytes(15, 1), "Invalid size 15"},
      {Bytes(17, 1), "Invalid size 17"},
      {rawBlock(fipsKey(), Bytes(16, 0x00), true), "Invalid padding size 0"},
      {rawBlock(fipsKey(), Bytes(16, 0x11), true), "Invalid padding size 17"},
      {rawBlock(fipsKey(), badValues, true), "Invalid padding @ "},
  };
  for (const Case& c : cases) {
    LogCapture capture;
    EXPECT_FALSE(aes.decrypt(c.data)) << c.message;
    EXPECT_TRUE(capture.containsAt("ERROR", c.message)) << c.message;
  }
}

TEST(EncryptorAES, AKeyOfTheWrongSizeIsLoggedAndFailsEveryOperation) {
  LogCapture capture;
  EncryptorAES aes(Bytes(16, 1));
  EXPECT_TRUE(capture.contains("AES_set_encrypt_key failed with"));
  EXPECT_TRUE(capture.contains("AES_set_decrypt_key failed with"));
  EXPECT_TRUE(aes.encrypt(Bytes{1, 2, 3}).empty());
  EXPECT_FALSE(aes.decrypt(Bytes(16, 0)));
}

}  // namespace
