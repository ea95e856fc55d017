// SPDX-License-Identifier: Apache-2.0
// Any bytes a Pentaloq reader might send: as answer packets gathered into an answer, as a decrypted answer
// frame, or as a frame on its own. Nothing is read or written past a buffer, and a result is either a checked
// answer (code 0 to 13 or 0xFF) or the failure.
#include <cstdlib>
#include <deque>

#include "trevalon/common/Translator.h"
#include "trevalon/token/TokenBLEReaderTokenBLECharacteristicsTranslator.h"
#include "trevalon/token/TokenEncryptor.h"

namespace {

// Splits the fuzzer's bytes into packets: a length byte, then that many bytes, repeatedly.
class FuzzCharacteristics : public trevalon::token::TokenBLECharacteristics {
 public:
  FuzzCharacteristics(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at < size) {
      const size_t length = std::min<size_t>(data[at], size - at - 1);
      packets.emplace_back(data + at + 1, data + at + 1 + length);
      at += 1 + length;
    }
  }
  std::string getAddress() override { return "5e0a1c000001"; }
  std::string getId() override { return "5e0a1c000001"; }
  bool isConnected() override { return true; }
  bool isAvailable() override { return true; }
  bool isPaired() override { return true; }
  bool setPaired(bool) override { return false; }
  bool transmit(std::vector<uint8_t>) override { return true; }
  void discardReceived() override {}
  std::vector<uint8_t> receive() override {
    if (packets.empty()) return {};
    std::vector<uint8_t> next = packets.front();
    packets.pop_front();
    return next;
  }

 private:
  std::deque<std::vector<uint8_t>> packets;
};

void checkResult(const trevalon::token::TransmitResult& result) {
  if (result.code > trevalon::token::TokenBLEReader::kHighestResultCode && result.code != 0xFF) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t function = data[0];
  const std::vector<uint8_t> bytes(data + 1, data + size);
  checkResult(trevalon::token::TokenBLEReader::parseAnswer(function, bytes));

  auto air = std::make_shared<FuzzCharacteristics>(data + 1, size - 1);
  auto reader =
      trevalon::common::createTranslator<trevalon::token::TokenBLEReaderTokenBLECharacteristicsTranslator>(air);
  const std::vector<uint8_t> answer = reader->transmitRaw({function}, false);
  if (answer.size() > size) std::abort();  // an answer is made of bytes that arrived, nothing else
  checkResult(trevalon::token::TokenBLEReader::parseAnswer(function, answer));

  static trevalon::token::TokenEncryptor encryptor(trevalon::token::TokenEncryptor::Key{});
  const std::vector<uint8_t> opened = encryptor.decrypt(bytes).value_or(std::vector<uint8_t>());
  if (!opened.empty() && opened.size() != bytes.size()) std::abort();
  checkResult(trevalon::token::TokenBLEReader::parseAnswer(function, opened));
  return 0;
}
