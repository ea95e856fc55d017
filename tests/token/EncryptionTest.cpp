// SPDX-License-Identifier: Apache-2.0
// The link key: derivation, the cipher's fill, storage, and the proxy that uses it.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include "LogCapture.h"
#include "ScriptedCharacteristics.h"
#include "SettingsFixture.h"
#include "trevalon/common/Translator.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/Settings.h"
#include "trevalon/token/TokenBLEReaderCryptoProxy.h"
#include "trevalon/token/TokenBLEReaderTokenBLECharacteristicsTranslator.h"
#include "trevalon/token/TokenEncryptor.h"

using namespace kelvo::test;
using trevalon::token::TokenBLEReader;
using trevalon::token::TokenEncryptor;

namespace {

TokenEncryptor::Key keyOf(const std::string& text) {
  TokenEncryptor::Key key{};
  std::copy(text.begin(), text.end(), key.begin());
  return key;
}

// One AES-256-ECB block straight from OpenSSL, to compare the encryptor with.
std::vector<uint8_t> referenceBlock(const TokenEncryptor::Key& key, const std::vector<uint8_t>& block) {
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  std::vector<uint8_t> out(32);
  int produced = 0;
  EVP_EncryptInit_ex(context, EVP_aes_256_ecb(), nullptr, key.data(), nullptr);
  EVP_CIPHER_CTX_set_padding(context, 0);
  EVP_EncryptUpdate(context, out.data(), &produced, block.data(), static_cast<int>(block.size()));
  EVP_CIPHER_CTX_free(context);
  out.resize(static_cast<size_t>(produced));
  return out;
}

TEST(TokenEncryptorTest, KeyIsTheHexTextOfPbkdf2) {
  LogCapture capture;
  // PBKDF2-HMAC-SHA-256("12345678", "5e0a1c000001", 1024 iterations, 16 bytes), computed independently.
  const TokenEncryptor::Key key = TokenEncryptor::initKey({'1', '2', '3', '4', '5', '6', '7', '8'}, "5e0a1c000001");
  EXPECT_EQ(std::string(key.begin(), key.end()), "8542dac17395e21486e5d98c85e56ae1");
  for (const std::string& line : capture.lines()) {
    // After the time stamp and thread id, whose digits could hold anything.
    EXPECT_EQ(line.find("8542", line.find("] ")), std::string::npos) << "no part of the key reaches the log: " << line;
  }
  EXPECT_NE(TokenEncryptor::initKey({'1', '2', '3', '4', '5', '6', '7', '8'}, "5e0a1c000002"), key)
      << "another reader, another key";
}

TEST(TokenEncryptorTest, ZeroFillToWholeBlocksAndNoRemovalOnDecrypt) {
  const TokenEncryptor::Key key = keyOf("000102030405060708090a0b0c0d0e0f");
  TokenEncryptor encryptor(key);
  std::vector<uint8_t> seventeen(17, 0x5A);
  const std::vector<uint8_t> sealed = encryptor.encrypt(seventeen);
  ASSERT_EQ(sealed.size(), 32u);
  std::vector<uint8_t> secondBlock(16, 0);
  secondBlock[0] = 0x5A;
  EXPECT_EQ(std::vector<uint8_t>(sealed.begin() + 16, sealed.end()), referenceBlock(key, secondBlock));
  std::vector<uint8_t> opened = encryptor.decrypt(sealed).value_or(std::vector<uint8_t>());
  ASSERT_EQ(opened.size(), 32u);
  seventeen.resize(32, 0);
  EXPECT_EQ(opened, seventeen);
  EXPECT_EQ(encryptor.encrypt(std::vector<uint8_t>(16, 1)).size(), 16u) << "a whole block gets no fill";
  EXPECT_TRUE(encryptor.encrypt({}).empty());
  EXPECT_FALSE(encryptor.decrypt(std::vector<uint8_t>(15, 0))) << "no whole block";
}

TEST(TokenEncryptorTest, KeysAreKeptPrivatePerAddress) {
  SettingsFixture store;
  const TokenEncryptor::Key key = keyOf("8542dac17395e21486e5d98c85e56ae1");
  EXPECT_FALSE(TokenEncryptor::loadKey("5e0a1c000001"));
  ASSERT_TRUE(TokenEncryptor::saveKey("5e0a1c000001", key));
  EXPECT_EQ(TokenEncryptor::loadKey("5e0a1c000001"), key);
  EXPECT_FALSE(TokenEncryptor::loadKey("5e0a1c000002"));
  EXPECT_EQ(trevalon::local::readTextSetting("token_key_5e0a1c000001", "", false), "") << "not under the plain name";
  TokenEncryptor::removeKey("5e0a1c000001");
  EXPECT_FALSE(TokenEncryptor::loadKey("5e0a1c000001"));
}

TEST(TokenCryptoProxyTest, AnEncryptedExchangeWithoutKeyFailsWithoutTraffic) {
  LogCapture capture;
  auto air = std::make_shared<ScriptedCharacteristics>();
  auto chunks =
      trevalon::common::createTranslator<trevalon::token::TokenBLEReaderTokenBLECharacteristicsTranslator>(air);
  auto proxy = trevalon::common::createTranslator<trevalon::token::TokenBLEReaderCryptoProxy>(chunks);
  const trevalon::token::TransmitResult result = proxy->transmit(0x30, {}, true);
  EXPECT_EQ(result.code, 0xFF);
  EXPECT_TRUE(capture.containsAt("ERROR", "Key was not exchanged!"));
  EXPECT_TRUE(air->written.empty());
  EXPECT_EQ(air->receives, 0);

  std::vector<uint8_t> answer = TokenBLEReader::frame(0x30, {0x07});
  std::vector<uint8_t> packet = {0, static_cast<uint8_t>(answer.size()), 0};
  packet.insert(packet.end(), answer.begin(), answer.end());
  air->answerWith({packet});
  EXPECT_EQ(proxy->transmit(0x30, {}, false).code, 7) << "a plain exchange passes through unchanged";
  ASSERT_EQ(air->written.size(), 1u);
  EXPECT_EQ(air->written[0], (std::vector<uint8_t>{0, 4, 0, 0x30, 0, 0, TokenBLEReader::frame(0x30, {}).back()}));
}

}  // namespace
