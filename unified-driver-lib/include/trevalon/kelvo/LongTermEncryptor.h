// SPDX-License-Identifier: Apache-2.0
#pragma once
// The long-term link key of one reader and workstation: agreed once by X25519, kept as a private setting,
// used directly (AES-256-ECB) for readers without session keys and to derive every session key.

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "trevalon/EncryptorAES.h"
#include "trevalon/kelvo/KelvoBLEReader.h"

namespace trevalon::kelvo {

class LongTermEncryptor : public EncryptorAES {
 public:
  using Key = std::array<uint8_t, 32>;

  explicit LongTermEncryptor(const Key& key);

  // The stored key, or a fresh agreement with the reader (always a fresh one when `reset`).
  static std::shared_ptr<LongTermEncryptor> create(const std::shared_ptr<KelvoBLEReader>& reader, bool reset);

  static std::optional<Key> loadKey(const std::string& identifier);
  static bool saveKey(const std::string& identifier, const Key& key);
  static void removeKey(const std::string& identifier);

  // True while the reader of this address refuses every key agreement until its keys are reset on the reader
  // itself (its last ExchangeKey answered 7); a later agreement that succeeds clears it.
  static bool isKeyResetRequired(const std::string& address);

  // 0xFF, then whole ECB blocks.
  std::vector<uint8_t> encrypt(std::vector<uint8_t> plain) override;
  // The status byte travels in plain in front of the blocks.
  std::optional<std::vector<uint8_t>> decrypt(std::vector<uint8_t> data) override;

  // Two blocks encrypted under the long-term key, without padding: how session keys are made.
  std::vector<uint8_t> deriveSessionKey(const std::vector<uint8_t>& twoBlocks) const;

 private:
  static std::shared_ptr<LongTermEncryptor> agree(const std::shared_ptr<KelvoBLEReader>& reader);
  static void setKeyResetRequired(const std::string& address, bool required);

  Key key;
};

}  // namespace trevalon::kelvo
