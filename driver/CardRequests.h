// SPDX-License-Identifier: Apache-2.0
#pragma once
// The card channel's requests (pcscd's IFD handler is the client): card status, power up, power down, transmit and
// wait for change. Status and waits are answered on the connection's own thread from the card presence the
// library reports, so they cost no radio traffic and never queue behind the reader; the others go to the reader
// through its one request queue, shared with the application's socket. Sizes are checked before the reader is
// touched.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "CardPresence.h"
#include "ReaderSocket.h"
#include "trevalon/Card.h"
#include "trevalon/Device.h"

namespace kelvo::driver {

class CardRequests {
 public:
  enum Request : uint8_t {
    kCardStatus = 0x40,
    kPowerUp = 0x41,
    kPowerDown = 0x42,
    kTransmit = 0x43,
    kWaitForChange = 0x44,
  };

  static constexpr size_t kMaxApdu = 1024;
  static constexpr size_t kMinApdu = 4;
  static constexpr uint32_t kMaxWaitMs = 600000;
  // The code or status byte and up to kMaxApdu bytes of APDU or response.
  static constexpr size_t kMaxMessage = kMaxApdu + 1;

  static bool isCardRequest(uint8_t code);

  // Wrong sizes, unknown codes, the card status and waits; nothing when the request is one for the reader.
  static std::optional<std::vector<uint8_t>> answerWithoutReader(const std::vector<uint8_t>& request,
                                                                 CardPresence& presence,
                                                                 const ReaderSocket::ConnectionWatch& watch);
  // Power up, power down and transmit, on the reader's queue.
  static std::vector<uint8_t> answer(const std::shared_ptr<trevalon::Device>& device,
                                     const std::vector<uint8_t>& request);

 private:
  static std::vector<uint8_t> waitForChange(const std::vector<uint8_t>& payload, CardPresence& presence,
                                            const ReaderSocket::ConnectionWatch& watch);
  static std::vector<uint8_t> powerUp(trevalon::Card& card);
  static std::vector<uint8_t> transmit(trevalon::Card& card, const std::vector<uint8_t>& apdu);
};

}  // namespace kelvo::driver
