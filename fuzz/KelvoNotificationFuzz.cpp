// SPDX-License-Identifier: Apache-2.0
// Any notification value, through the packet layer's parsing and the reader functions' handling.
#include "FuzzTransport.h"
#include "trevalon/kelvo/KelvoBLEReaderKelvoBLECharacteristscsTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto packets = std::make_shared<trevalon::kelvo::KelvoBLEReaderKelvoBLECharacteristscsTranslator>();
  auto reader = trevalon::common::createTranslator<trevalon::kelvo::KelvoReaderKelvoBLEReaderTranslator>(
      std::shared_ptr<trevalon::kelvo::KelvoBLEReader>(packets));
  packets->notified(std::vector<uint8_t>(data, data + size));
  // A level above 100 is not a level: it must not be taken (0xFF is the cache's own "unknown").
  if (size >= 2 && data[0] == 7 && data[1] > 100 && data[1] != 0xFF && reader->getBatteryLevel() == data[1]) {
    __builtin_trap();
  }
  return 0;
}
