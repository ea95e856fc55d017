// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/SessionEncryptor.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/kelvo/LongTermEncryptor.h"
#include "trevalon/local/Settings.h"

namespace trevalon::kelvo {
namespace {

constexpr uint8_t kExchangeSessionKey = 160;
constexpr size_t kRandomSize = 20;

std::string sessionCapableName(const std::string& identifier) { return "sessions_" + identifier; }

// One AES-256-CCM operation; for decryption `tag` is the expected tag and a mismatch fails.
bool ccm(bool encrypting, const std::vector<uint8_t>& key, const uint8_t* nonce, const std::vector<uint8_t>& in,
         std::vector<uint8_t>& out, uint8_t* tag) {
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  if (context == nullptr) return false;
  out.assign(in.size(), 0);
  int produced = 0;
  int finished = 0;
  bool ok = EVP_CipherInit_ex(context, EVP_aes_256_ccm(), nullptr, nullptr, nullptr, encrypting ? 1 : 0) == 1 &&
            EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_SET_IVLEN, SessionEncryptor::kNonceSize, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_SET_TAG, SessionEncryptor::kTagSize,
                                encrypting ? nullptr : tag) == 1 &&
            EVP_CipherInit_ex(context, nullptr, nullptr, key.data(), nonce, encrypting ? 1 : 0) == 1 &&
            EVP_CipherUpdate(context, nullptr, &produced, nullptr, static_cast<int>(in.size())) == 1 &&
            EVP_CipherUpdate(context, out.data(), &produced, in.data(), static_cast<int>(in.size())) == 1;
  if (ok && encrypting) {
    ok = EVP_CipherFinal_ex(context, out.data() + produced, &finished) == 1 &&
         EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_GET_TAG, SessionEncryptor::kTagSize, tag) == 1;
  }
  EVP_CIPHER_CTX_free(context);
  return ok;
}

}  // namespace

SessionEncryptor::SessionEncryptor(std::vector<uint8_t> key, const std::array<uint8_t, 8>& nonceTail, uint32_t counter)
    : key(std::move(key)) {
  nonce[1] = static_cast<uint8_t>(counter >> 24);
  nonce[2] = static_cast<uint8_t>(counter >> 16);
  nonce[3] = static_cast<uint8_t>(counter >> 8);
  nonce[4] = static_cast<uint8_t>(counter);
  std::copy(nonceTail.begin(), nonceTail.end(), nonce.begin() + 5);
}

uint32_t SessionEncryptor::counterLocked() const {
  return (static_cast<uint32_t>(nonce[1]) << 24) | (static_cast<uint32_t>(nonce[2]) << 16) |
         (static_cast<uint32_t>(nonce[3]) << 8) | nonce[4];
}

bool SessionEncryptor::needsRenewal() const {
  std::lock_guard<std::mutex> guard(lock);
  return exhausted || counterLocked() == UINT32_MAX;
}

std::array<uint8_t, SessionEncryptor::kNonceSize> SessionEncryptor::currentNonce() const {
  std::lock_guard<std::mutex> guard(lock);
  return nonce;
}

bool SessionEncryptor::advanceCounter(std::array<uint8_t, kNonceSize>& nonce) {
  for (size_t i = 4; i >= 1; --i) {
    if (++nonce[i] != 0) return false;
  }
  return true;
}

std::vector<uint8_t> SessionEncryptor::encrypt(std::vector<uint8_t> plain) {
  TREVALON_TRACE();
  std::lock_guard<std::mutex> guard(lock);
  // The answer needs the next value too; a request that could not be answered under a fresh value is not sent.
  if (exhausted || counterLocked() == UINT32_MAX) {
    TREVALON_LOG(error, "the session's message counter is used up");
    return {};
  }
  std::vector<uint8_t> cipher;
  uint8_t tag[kTagSize] = {};
  if (key.size() != 32 || !ccm(true, key, nonce.data(), plain, cipher, tag)) {
    TREVALON_LOG(error, "CCM encryption failed");
    return {};
  }
  exhausted = advanceCounter(nonce);
  std::vector<uint8_t> sealed(1 + cipher.size() + kTagSize, 0xFF);
  std::copy(cipher.begin(), cipher.end(), sealed.begin() + 1);
  std::copy(tag, tag + kTagSize, sealed.end() - kTagSize);
  return sealed;
}

std::optional<std::vector<uint8_t>> SessionEncryptor::decrypt(std::vector<uint8_t> data) {
  TREVALON_TRACE();
  if (data.size() < 3) {
    return std::nullopt;
  }
  if (data.size() == 3) {
    TREVALON_LOG(error, "data did not fit CCM_TAG_LEN");
    return std::nullopt;
  }
  std::lock_guard<std::mutex> guard(lock);
  if (exhausted) {
    TREVALON_LOG(error, "the session's message counter is used up");
    return std::nullopt;
  }
  uint8_t tag[kTagSize];
  std::copy(data.end() - kTagSize, data.end(), tag);
  const std::vector<uint8_t> cipher(data.begin(), data.end() - kTagSize);
  std::vector<uint8_t> plain;
  const bool verified = key.size() == 32 && !cipher.empty() && ccm(false, key, nonce.data(), cipher, plain, tag);
  // The reader advanced its counter for this answer whether or not it reached us intact.
  exhausted = advanceCounter(nonce);
  if (!verified) {
    TREVALON_LOG(error, "CCM tag of the answer does not verify");
    return std::nullopt;
  }
  return plain;
}

bool SessionEncryptor::isKnownSessionCapable(const std::string& identifier) {
  TREVALON_TRACE();
  return local::readTextSetting(sessionCapableName(identifier), std::string(), false) == "1";
}

void SessionEncryptor::rememberSessionCapable(const std::string& identifier) {
  TREVALON_TRACE();
  if (isKnownSessionCapable(identifier)) return;
  if (!local::writeTextSetting(sessionCapableName(identifier), "1", false)) {
    TREVALON_LOG(warning, "could not remember that the reader agrees session keys");
  }
}

std::shared_ptr<Encryptor> SessionEncryptor::create(const std::shared_ptr<KelvoBLEReader>& reader, bool allowRetry) {
  TREVALON_TRACE();
  std::shared_ptr<LongTermEncryptor> longTerm = reader ? LongTermEncryptor::create(reader, !allowRetry) : nullptr;
  if (!longTerm) {
    TREVALON_LOG(warning, "Invalid parameter");
    return nullptr;
  }
  std::vector<uint8_t> random(kRandomSize);
  if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1) {
    TREVALON_LOG(error, "no random bytes for the session");
    return nullptr;
  }
  std::vector<uint8_t> payload(kRandomSize + 1, 0x01);
  std::copy(random.begin(), random.end(), payload.begin());
  const TransmitResult answer = reader->transmit(kExchangeSessionKey, payload, false);
  switch (answer.status) {
    case 0: {
      if (answer.payload.size() != kRandomSize) {
        TREVALON_LOG(error, "Unexpected result length %zi != 20", answer.payload.size());
        return nullptr;
      }
      std::vector<uint8_t> blocks(32);
      std::copy(random.begin(), random.begin() + 16, blocks.begin());
      std::copy(answer.payload.begin(), answer.payload.begin() + 16, blocks.begin() + 16);
      std::vector<uint8_t> sessionKey = longTerm->deriveSessionKey(blocks);
      if (sessionKey.size() != 32) {
        TREVALON_LOG(error, "session key derivation failed");
        return nullptr;
      }
      std::array<uint8_t, 8> tail{};
      std::copy(random.begin() + 16, random.end(), tail.begin());
      std::copy(answer.payload.begin() + 16, answer.payload.end(), tail.begin() + 4);
      rememberSessionCapable(reader->getId());
      return std::make_shared<SessionEncryptor>(std::move(sessionKey), tail);
    }
    case 2:
    case 7:
      if (isKnownSessionCapable(reader->getId())) {
        // Status bytes travel unprotected: one forged byte must not take the link down to the weaker mode.
        TREVALON_LOG(error, "the reader agreed session keys before and now refuses them (status %i): no fallback",
                     answer.status);
        return nullptr;
      }
      TREVALON_LOG(warning, "SessionKey not supported by device");
      return longTerm;
    case 6:
      if (allowRetry) {
        return create(reader, false);
      }
      TREVALON_LOG(error, "Could not create new LongTermEncryptor");
      return nullptr;
    default:
      TREVALON_LOG(error, "transmit failed with status 0x%hhX", answer.status);
      return nullptr;
  }
}

}  // namespace trevalon::kelvo
