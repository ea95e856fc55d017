// SPDX-License-Identifier: Apache-2.0
#pragma once
// What trace lines say about a request, a command APDU or an answer: a name, a length and at most the command
// header. Request and answer bodies carry PINs, key-agreement material and decrypted card data, and log files
// are read by more people than the reader's owner, so no body byte is ever rendered here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace trevalon::common {

class ExchangeDescriber {
 public:
  // "GetDeviceState [0x0d] 1 bytes": a request by its method name and id; `bytes` counts what follows the id.
  static std::string request(const char* name, uint8_t id, size_t bytes);

  // "APDU 00 a4 04 00, 13 bytes": CLA INS P1 P2 and the length. Fewer than four bytes: "APDU, 2 bytes". The
  // header is safe for every APDU, VERIFY and CHANGE REFERENCE DATA included: their PINs are in the body.
  static std::string apdu(const std::vector<uint8_t>& apdu);
  // The same for an APDU that starts `offset` bytes into `bytes` (behind a framing or kind byte).
  static std::string apdu(const std::vector<uint8_t>& bytes, size_t offset);

  // "13 bytes": all that is said about a body whose meaning the caller does not know (sealed, framed, raw).
  static std::string length(size_t bytes);
};

}  // namespace trevalon::common
