// SPDX-License-Identifier: Apache-2.0
#include "trevalon/token/TokenEncryptor.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/Settings.h"
#include "trevalon/token/TokenFunctions.h"

namespace trevalon::token {
namespace {

// The operations of a "Syncronize" request, its first payload byte.
constexpr uint8_t kCheckKey = 0x01;
constexpr uint8_t kSetKey = 0x02;
// The reader keeps the key it has and shows its short key on its display: the user must give it to us.
constexpr uint8_t kKeyLocked = 0x03;

std::string keyName(const std::string& address) { return "token_key_" + address; }

std::string hexDigits(const uint8_t* bytes, size_t count) {
  std::string text;
  char pair[3];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

std::vector<uint8_t> withOperation(uint8_t operation, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> payload(data.size() + 1);
  payload[0] = operation;
  std::copy(data.begin(), data.end(), payload.begin() + 1);
  return payload;
}

bool randomBytes(std::vector<uint8_t>& out) { return RAND_bytes(out.data(), static_cast<int>(out.size())) == 1; }

}  // namespace

TokenEncryptor::TokenEncryptor(const Key& key) : key(key) {}

TokenEncryptor::Key TokenEncryptor::initKey(const std::vector<uint8_t>& shortKey, const std::string& salt) {
  TREVALON_TRACE();
  uint8_t derived[16];
  const int result =
      PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(shortKey.data()), static_cast<int>(shortKey.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), kIterations,
                        EVP_sha256(), sizeof derived, derived);
  Key derivedKey{};
  if (result != 1) {
    TREVALON_LOG(error, "PKCS5_PBKDF2_HMAC failed with %i", result);
    return derivedKey;
  }
  // No digit of the key is logged: even a part of it lets whoever reads the log test guesses of the short key.
  const std::string text = hexDigits(derived, sizeof derived);
  std::copy(text.begin(), text.end(), derivedKey.begin());
  return derivedKey;
}

std::optional<TokenEncryptor::Key> TokenEncryptor::loadKey(const std::string& address) {
  TREVALON_TRACE();
  const std::string stored = local::readTextSetting(keyName(address), std::string(), true);
  if (stored.size() != std::tuple_size<Key>::value) return std::nullopt;
  Key loaded{};
  std::copy(stored.begin(), stored.end(), loaded.begin());
  return loaded;
}

bool TokenEncryptor::saveKey(const std::string& address, const Key& key) {
  TREVALON_TRACE();
  return local::writeTextSetting(keyName(address), std::string(key.begin(), key.end()), true);
}

void TokenEncryptor::removeKey(const std::string& address) {
  TREVALON_TRACE();
  if (std::shared_ptr<local::Settings> settings = local::Facade::instance().getSettings()) {
    settings->unset(local::settingStorageName(keyName(address), true));
  }
}

std::shared_ptr<TokenEncryptor> TokenEncryptor::create(const std::shared_ptr<TokenBLEReader>& reader) {
  TREVALON_TRACE();
  if (!reader) return nullptr;
  const std::string address = reader->getAddress();
  if (std::optional<Key> stored = loadKey(address)) {
    auto encryptor = std::make_shared<TokenEncryptor>(*stored);
    if (readerHolds(reader, *encryptor)) {
      TREVALON_LOG(info, "Key exchnged successfully");
      return encryptor;
    }
    TREVALON_LOG(info, "the reader no longer holds the stored key");
  } else {
    TREVALON_LOG(info, "could not load key");
  }
  return syncronizeKey(reader, address);
}

std::shared_ptr<TokenEncryptor> TokenEncryptor::syncronizeKey(const std::shared_ptr<TokenBLEReader>& reader,
                                                              const std::string& address) {
  TREVALON_TRACE();
  TREVALON_LOG(info, "create a random new session key");
  std::vector<uint8_t> shortKey(kShortKeySize);
  if (!randomBytes(shortKey)) {
    TREVALON_LOG(error, "no random short key could be drawn");
    return nullptr;
  }
  const TransmitResult answer = reader->transmit(TokenFunctions::kSyncronize, withOperation(kSetKey, shortKey), false);
  if (answer.code == kKeyLocked) return acceptRequestedKey(reader, address);
  if (answer.code != 0) {
    TREVALON_LOG(error, "Error during key sync: 0x%X", answer.code);
    return nullptr;
  }
  const Key key = initKey(shortKey, address);
  if (!saveKey(address, key)) TREVALON_LOG(warning, "failed to save key");
  TREVALON_LOG(info, "Key exchnged successfully");
  return std::make_shared<TokenEncryptor>(key);
}

std::shared_ptr<TokenEncryptor> TokenEncryptor::acceptRequestedKey(const std::shared_ptr<TokenBLEReader>& reader,
                                                                   const std::string& address) {
  TREVALON_LOG(info, "Requesting new key");
  std::vector<uint8_t> shortKey;
  try {
    shortKey = reader->requestKey();
  } catch (const std::exception&) {
    TREVALON_LOG(error, "nobody gave the reader's key");
    return nullptr;
  }
  if (shortKey.size() != kShortKeySize) {
    TREVALON_LOG(error, "Short key is not 8 bytes long");
    return nullptr;
  }
  auto encryptor = std::make_shared<TokenEncryptor>(initKey(shortKey, address));
  if (!readerHolds(reader, *encryptor)) return nullptr;
  if (!saveKey(address, encryptor->key)) TREVALON_LOG(warning, "failed to save key");
  TREVALON_LOG(info, "Key exchnged successfully");
  return encryptor;
}

bool TokenEncryptor::readerHolds(const std::shared_ptr<TokenBLEReader>& reader, TokenEncryptor& candidate) {
  std::vector<uint8_t> challenge(kBlockSize);
  if (!randomBytes(challenge)) {
    TREVALON_LOG(error, "no random challenge could be drawn");
    return false;
  }
  const TransmitResult answer =
      reader->transmit(TokenFunctions::kSyncronize, withOperation(kCheckKey, challenge), false);
  if (answer.code != 0) {
    TREVALON_LOG(error, "Error during key sync: 0x%X", answer.code);
    return false;
  }
  if (answer.data != candidate.encrypt(challenge)) {
    TREVALON_LOG(error, "the reader holds another key");
    return false;
  }
  return true;
}

std::vector<uint8_t> TokenEncryptor::crypt(std::vector<uint8_t> data, bool encrypting) {
  if (data.empty()) return data;
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  std::vector<uint8_t> out(data.size() + kBlockSize);
  int produced = 0;
  int finished = 0;
  const bool ok =
      context != nullptr &&
      EVP_CipherInit_ex(context, EVP_aes_256_ecb(), nullptr, key.data(), nullptr, encrypting ? 1 : 0) == 1 &&
      EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
      EVP_CipherUpdate(context, out.data(), &produced, data.data(), static_cast<int>(data.size())) == 1 &&
      EVP_CipherFinal_ex(context, out.data() + produced, &finished) == 1;
  EVP_CIPHER_CTX_free(context);
  if (!ok) {
    TREVALON_LOG(error, "AES-256-ECB failed on %zu bytes", data.size());
    return {};
  }
  out.resize(static_cast<size_t>(produced) + static_cast<size_t>(finished));
  return out;
}

std::vector<uint8_t> TokenEncryptor::encrypt(std::vector<uint8_t> plain) {
  TREVALON_TRACE_QUIET();
  plain.resize((plain.size() + kBlockSize - 1) / kBlockSize * kBlockSize, 0);
  return crypt(std::move(plain), true);
}

std::optional<std::vector<uint8_t>> TokenEncryptor::decrypt(std::vector<uint8_t> data) {
  TREVALON_TRACE_QUIET();
  // Answers are whole blocks: nothing to decrypt, or nothing decrypted, is a failure.
  std::vector<uint8_t> plain = crypt(std::move(data), false);
  if (plain.empty()) return std::nullopt;
  return plain;
}

}  // namespace trevalon::token
