// SPDX-License-Identifier: Apache-2.0
#pragma once
// Chunking and reassembly: a request is cut into chunks of at most 256 bytes (the first carries the total
// length), the answer is gathered from 'output' packets until it holds the length they announce.

#include <mutex>

#include "trevalon/common/Translator.h"
#include "trevalon/token/TokenBLECharacteristics.h"
#include "trevalon/token/TokenBLEReader.h"

namespace trevalon::token {

class TokenBLEReaderTokenBLECharacteristicsTranslator
    : public common::Translator<TokenBLEReader, TokenBLECharacteristics> {
 public:
  static constexpr size_t kChunkSize = 256;
  static constexpr size_t kMaxRequestSize = 0xFFFF;

  std::string getAddress() override;
  std::string getId() override;
  bool isConnected() override;
  bool isAvailable() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  std::vector<uint8_t> transmitRaw(std::vector<uint8_t> request, bool encrypt) override;

  void onAvailableChanged(bool available) override;
  void onConnectedChanged(bool connected) override;

  // The chunks of a request, as they are written.
  static std::vector<std::vector<uint8_t>> chunksOf(const std::vector<uint8_t>& request);

 private:
  bool send(TokenBLECharacteristics& characteristics, const std::vector<uint8_t>& request);
  std::vector<uint8_t> receiveAnswer(TokenBLECharacteristics& characteristics);

  std::mutex exchangeLock;
};

}  // namespace trevalon::token
