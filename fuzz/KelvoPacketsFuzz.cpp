// SPDX-License-Identifier: Apache-2.0
// Any sequence of 'process2' and 'output2' values from a reader: the packet transfer never writes or reads
// past its buffers and answers either a response or the failure byte.
#include <deque>

#include "trevalon/kelvo/KelvoBLEReaderKelvoBLECharacteristscsTranslator.h"

namespace {

// Splits the fuzzer's bytes into values: a length byte, then that many bytes, repeatedly.
class FuzzCharacteristics : public trevalon::kelvo::KelvoBLECharacteristscs {
 public:
  FuzzCharacteristics(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at < size) {
      const size_t length = std::min<size_t>(data[at], size - at - 1);
      values.emplace_back(data + at + 1, data + at + 1 + length);
      at += 1 + length;
    }
  }
  std::string getAddress() override { return "001a7dda7113"; }
  std::string getId() override { return "001a7dda7113"; }
  bool isConnected() override { return true; }
  bool isAvailable() override { return true; }
  bool isPaired() override { return true; }
  bool setPaired(bool) override { return false; }
  bool writeIndicate(std::vector<uint8_t>) override { return true; }
  bool writeInput(std::vector<uint8_t>) override { return true; }
  bool writePrepare(std::vector<uint8_t>) override { return true; }
  bool writeSpare(std::vector<uint8_t>) override { return true; }
  bool writeTransmit(std::vector<uint8_t>) override { return true; }
  std::vector<uint8_t> readProcess2() override { return next(); }
  std::vector<uint8_t> readSpare() override { return next(); }
  std::vector<uint8_t> waitOutput2() override { return next(); }
  std::vector<uint8_t> waitOutput2(std::chrono::milliseconds) override { return next(); }
  void discardOutput2() override {}

 private:
  std::vector<uint8_t> next() {
    if (values.empty()) return {};
    std::vector<uint8_t> value = values.front();
    values.pop_front();
    return value;
  }
  std::deque<std::vector<uint8_t>> values;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  auto characteristics = std::make_shared<FuzzCharacteristics>(data + 1, size - 1);
  auto packets = std::make_shared<trevalon::kelvo::KelvoBLEReaderKelvoBLECharacteristscsTranslator>();
  packets->setMaster(characteristics);
  // The first byte chooses the framing through the request size.
  const std::vector<uint8_t> request(data[0] % 40 + 1, 13);
  const std::vector<uint8_t> response = packets->transmitRaw(request, true);
  if (response.size() > 0xFFFF) __builtin_trap();
  return 0;
}
