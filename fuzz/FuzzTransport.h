// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader transport that answers every request with the fuzzer's bytes, for driving the reader-side parsers.

#include <cstdint>
#include <memory>
#include <vector>

#include "trevalon/kelvo/KelvoBLEReader.h"
#include "trevalon/kelvo/KelvoReaderKelvoBLEReaderTranslator.h"

namespace kelvo::fuzz {

class FuzzTransport : public trevalon::kelvo::KelvoBLEReader {
 public:
  explicit FuzzTransport(std::vector<uint8_t> answer) : answer(std::move(answer)) {}
  std::string getAddress() override { return "001a7dda7113"; }
  std::string getId() override { return "001a7dda7113"; }
  bool isConnected() override { return true; }
  bool isAvailable() override { return true; }
  bool isPaired() override { return true; }
  bool setPaired(bool) override { return false; }
  bool indicate(uint8_t, std::vector<uint8_t>) override { return true; }
  std::vector<uint8_t> transmitRaw(std::vector<uint8_t>, bool) override { return answer; }
  uint64_t updateMtu(uint64_t size) override { return size; }

 private:
  std::vector<uint8_t> answer;
};

// The reader functions over a transport whose every answer is status 0 followed by the fuzzer's bytes.
inline std::shared_ptr<trevalon::kelvo::KelvoReader> readerAnswering(const uint8_t* data, size_t size) {
  std::vector<uint8_t> answer{0};
  answer.insert(answer.end(), data, data + size);
  return trevalon::common::createTranslator<trevalon::kelvo::KelvoReaderKelvoBLEReaderTranslator>(
      std::shared_ptr<trevalon::kelvo::KelvoBLEReader>(std::make_shared<FuzzTransport>(answer)));
}

}  // namespace kelvo::fuzz
