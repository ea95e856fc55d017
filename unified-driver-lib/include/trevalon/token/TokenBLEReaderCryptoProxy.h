// SPDX-License-Identifier: Apache-2.0
#pragma once
// Encrypts the exchanges whose caller asks for it. The key is set up each time the reader becomes available
// and dropped when it goes; in between an encrypted exchange without a key fails without traffic.

#include <memory>
#include <mutex>

#include "trevalon/common/Translator.h"
#include "trevalon/token/TokenBLEReader.h"
#include "trevalon/token/TokenEncryptor.h"

namespace trevalon::token {

class TokenBLEReaderCryptoProxy : public common::Translator<TokenBLEReader, TokenBLEReader> {
 public:
  std::string getAddress() override;
  std::string getId() override;
  bool isConnected() override;
  bool isAvailable() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  std::vector<uint8_t> transmitRaw(std::vector<uint8_t> request, bool encrypt) override;

  void onAvailableChanged(bool available) override;
  void onConnectedChanged(bool connected) override;
  std::vector<uint8_t> onKeyRequested() override;

 private:
  std::shared_ptr<TokenEncryptor> currentEncryptor();

  std::mutex encryptorLock;
  std::shared_ptr<TokenEncryptor> encryptor;
};

}  // namespace trevalon::token
