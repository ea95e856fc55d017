// SPDX-License-Identifier: Apache-2.0
// Any bytes from the Bridge, as an advertising report and as every kind of answer: nothing is read beyond what
// arrived, and what is read stays within the message.
#include <cstring>
#include <string>
#include <vector>

#include "bridge/kelvoctl/AdvertisingReport.h"
#include "bridge/kelvoctl/BridgeAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly the received bytes, so a read past them is seen by the sanitizer.
  const std::vector<uint8_t> received(data, data + size);
  kelvoctl_search_record record;
  if (AdvertisingReport::parse(received.data(), received.size(), record)) {
    if (std::strlen(record.name) >= sizeof record.name) __builtin_trap();
  }
  const BridgeAnswer answer(received);
  if (answer.size() > size) __builtin_trap();
  uint16_t word = 0;
  uint16_t connection = 0;
  answer.status(word, connection);
  size_t addresses = 0;
  answer.pairedAddresses([&addresses](const uint8_t*) { ++addresses; });
  if (addresses * BridgeAnswer::kAddressBytes > answer.payload().size()) __builtin_trap();
  std::string text;
  if (answer.name(text) && text.size() + 2 > answer.size()) __builtin_trap();
  if (answer.version(text) && text.size() + 3 > answer.size()) __builtin_trap();
  bool done = false;
  uint8_t control = 0;
  answer.indication(done, control);
  std::vector<uint8_t> response;
  if (answer.rpc(response) && response.size() + 2 != answer.size()) __builtin_trap();
  int result = 0;
  answer.result(result);
  return 0;
}
