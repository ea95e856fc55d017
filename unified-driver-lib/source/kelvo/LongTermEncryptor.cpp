// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/LongTermEncryptor.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <mutex>
#include <set>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/Settings.h"

namespace trevalon::kelvo {
namespace {

constexpr uint8_t kExchangeKey = 3;
constexpr uint8_t kCommandSetSetting = 5;
constexpr uint8_t kCommandSaveEncryptionKey = 7;
constexpr uint8_t kSettingEncryption = 7;
constexpr size_t kKeySize = 32;

// Addresses of readers that refused the last key agreement with status 7. The driver reads it to tell its
// clients that the user must reset the reader's keys.
struct KeyResetRegistry {
  std::mutex lock;
  std::set<std::string> addresses;
};

KeyResetRegistry& keyResetRegistry() {
  static KeyResetRegistry registry;
  return registry;
}

std::string keyName(const std::string& identifier) { return "key_" + identifier; }

// X25519(scalar, u) of RFC 7748 with an arbitrary u-coordinate; false for a low-order u (all-zero result).
bool x25519(const uint8_t* scalar, const uint8_t* u, uint8_t* out) {
  EVP_PKEY* own = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, scalar, kKeySize);
  EVP_PKEY* peer = EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, u, kKeySize);
  EVP_PKEY_CTX* context = own != nullptr ? EVP_PKEY_CTX_new(own, nullptr) : nullptr;
  size_t length = kKeySize;
  const bool ok = own != nullptr && peer != nullptr && context != nullptr && EVP_PKEY_derive_init(context) == 1 &&
                  EVP_PKEY_derive_set_peer(context, peer) == 1 && EVP_PKEY_derive(context, out, &length) == 1 &&
                  length == kKeySize;
  EVP_PKEY_CTX_free(context);
  EVP_PKEY_free(peer);
  EVP_PKEY_free(own);
  return ok;
}

}  // namespace

LongTermEncryptor::LongTermEncryptor(const Key& key)
    : EncryptorAES(std::vector<uint8_t>(key.begin(), key.end())), key(key) {}

std::optional<LongTermEncryptor::Key> LongTermEncryptor::loadKey(const std::string& identifier) {
  TREVALON_TRACE();
  const std::string stored = local::readTextSetting(keyName(identifier), std::string(), true);
  if (stored.size() < kKeySize) {
    return std::nullopt;
  }
  Key key{};
  std::copy(stored.begin(), stored.begin() + kKeySize, key.begin());
  return key;
}

bool LongTermEncryptor::saveKey(const std::string& identifier, const Key& key) {
  TREVALON_TRACE();
  return local::writeTextSetting(keyName(identifier), std::string(key.begin(), key.end()), true);
}

bool LongTermEncryptor::isKeyResetRequired(const std::string& address) {
  TREVALON_TRACE();
  KeyResetRegistry& registry = keyResetRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  return registry.addresses.count(address) != 0;
}

void LongTermEncryptor::setKeyResetRequired(const std::string& address, bool required) {
  TREVALON_TRACE();
  KeyResetRegistry& registry = keyResetRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  if (required) {
    registry.addresses.insert(address);
  } else {
    registry.addresses.erase(address);
  }
}

void LongTermEncryptor::removeKey(const std::string& identifier) {
  TREVALON_TRACE();
  if (std::shared_ptr<local::Settings> settings = local::Facade::instance().getSettings()) {
    settings->unset(local::settingStorageName(keyName(identifier), true));
  }
}

std::shared_ptr<LongTermEncryptor> LongTermEncryptor::create(const std::shared_ptr<KelvoBLEReader>& reader,
                                                             bool reset) {
  TREVALON_TRACE();
  const std::string identifier = reader->getId();
  if (reset) {
    removeKey(identifier);
  } else if (std::optional<Key> stored = loadKey(identifier)) {
    return std::make_shared<LongTermEncryptor>(*stored);
  } else {
    TREVALON_LOG(info, "could not load long term key");
  }
  return agree(reader);
}

std::shared_ptr<LongTermEncryptor> LongTermEncryptor::agree(const std::shared_ptr<KelvoBLEReader>& reader) {
  TREVALON_TRACE();
  reader->indicate(kCommandSetSetting, {kSettingEncryption, 0x01});

  // Both the scalar and the base point are secret material: they come from the cryptographic generator.
  uint8_t scalar[kKeySize];
  uint8_t point[kKeySize];
  uint8_t published[kKeySize];
  if (RAND_bytes(scalar, kKeySize) != 1 || RAND_bytes(point, kKeySize) != 1 || !x25519(scalar, point, published)) {
    TREVALON_LOG(error, "could not make the key agreement values");
    return nullptr;
  }
  std::vector<uint8_t> payload(2 * kKeySize);
  std::copy(point, point + kKeySize, payload.begin());
  std::copy(published, published + kKeySize, payload.begin() + kKeySize);

  const TransmitResult answer = reader->transmit(kExchangeKey, payload, false);
  if (answer.status != KelvoBLEReader::kStatusSuccess) {
    if (answer.status == 7) {
      TREVALON_LOG(info, "If FW 1.2.0 or lower is used reset key is required");
      setKeyResetRequired(reader->getAddress(), true);
    }
    TREVALON_LOG(error, "failed to exchange key: 0x%hhX", answer.status);
    return nullptr;
  }
  if (answer.payload.size() != kKeySize) {
    TREVALON_LOG(error, "result size (%zi) is not valid!", answer.payload.size());
    return nullptr;
  }
  Key key{};
  if (!x25519(scalar, answer.payload.data(), key.data())) {
    TREVALON_LOG(error, "the reader's key agreement value is not usable");
    return nullptr;
  }
  // Ours first: a reader told to keep a key we then fail to store would refuse us until its keys are reset.
  if (!saveKey(reader->getId(), key)) {
    TREVALON_LOG(error, "failed to save key: the settings store refused it, the agreement is abandoned");
    return nullptr;
  }
  if (!reader->indicate(kCommandSaveEncryptionKey, {})) {
    TREVALON_LOG(error, "failed to save key on device");
    removeKey(reader->getId());
    return nullptr;
  }
  setKeyResetRequired(reader->getAddress(), false);
  return std::make_shared<LongTermEncryptor>(key);
}

std::vector<uint8_t> LongTermEncryptor::encrypt(std::vector<uint8_t> plain) {
  TREVALON_TRACE();
  std::vector<uint8_t> blocks = EncryptorAES::encrypt(std::move(plain));
  if (blocks.empty()) {
    return {};
  }
  blocks.insert(blocks.begin(), 0xFF);
  return blocks;
}

std::optional<std::vector<uint8_t>> LongTermEncryptor::decrypt(std::vector<uint8_t> data) {
  TREVALON_TRACE();
  if (data.empty()) {
    return std::nullopt;
  }
  // An answer without payload still carries a block of padding: it decrypts to the status byte alone.
  std::optional<std::vector<uint8_t>> plain = EncryptorAES::decrypt(std::vector<uint8_t>(data.begin() + 1, data.end()));
  if (!plain) {
    return std::nullopt;
  }
  plain->insert(plain->begin(), data[0]);
  return plain;
}

std::vector<uint8_t> LongTermEncryptor::deriveSessionKey(const std::vector<uint8_t>& twoBlocks) const {
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  std::vector<uint8_t> out(twoBlocks.size() + kBlockSize);
  int produced = 0;
  int finished = 0;
  const bool ok =
      context != nullptr && twoBlocks.size() == 2 * kBlockSize &&
      EVP_EncryptInit_ex(context, EVP_aes_256_ecb(), nullptr, key.data(), nullptr) == 1 &&
      EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
      EVP_EncryptUpdate(context, out.data(), &produced, twoBlocks.data(), static_cast<int>(twoBlocks.size())) == 1 &&
      EVP_EncryptFinal_ex(context, out.data() + produced, &finished) == 1;
  EVP_CIPHER_CTX_free(context);
  if (!ok) {
    return {};
  }
  out.resize(static_cast<size_t>(produced) + static_cast<size_t>(finished));
  return out;
}

}  // namespace trevalon::kelvo
