// SPDX-License-Identifier: Apache-2.0
#include "CardRequests.h"

#include <list>

#include "DriverStatus.h"
#include "trevalon/Slot.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace kelvo::driver {
namespace {

constexpr size_t kWaitPayloadSize = 5;  // the presence known, then the longest wait in ms (little-endian)

std::vector<uint8_t> withStatus(uint8_t status, const std::vector<uint8_t>& payload = {}) {
  std::vector<uint8_t> answer;
  answer.reserve(payload.size() + 1);
  answer.push_back(status);
  answer.insert(answer.end(), payload.begin(), payload.end());
  return answer;
}

uint32_t littleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

bool CardRequests::isCardRequest(uint8_t code) { return code >= kCardStatus && code <= kWaitForChange; }

std::optional<std::vector<uint8_t>> CardRequests::answerWithoutReader(const std::vector<uint8_t>& request,
                                                                      CardPresence& presence,
                                                                      const ReaderSocket::ConnectionWatch& watch) {
  const uint8_t code = request.at(0);
  const std::vector<uint8_t> payload(request.begin() + 1, request.end());
  const std::vector<uint8_t> wrongSize = withStatus(kStatusWrongSize);
  switch (code) {
    case kCardStatus:
      if (!payload.empty()) return wrongSize;
      return withStatus(kStatusSuccess, {static_cast<uint8_t>(presence.present() ? 1 : 0)});
    case kPowerUp:
    case kPowerDown:
      if (!payload.empty()) return wrongSize;
      return std::nullopt;
    case kTransmit:
      if (payload.size() < kMinApdu || payload.size() > kMaxApdu) return wrongSize;
      return std::nullopt;
    case kWaitForChange:
      return waitForChange(payload, presence, watch);
    default:
      TREVALON_LOG(warning, "card channel: unknown request code %u", static_cast<unsigned>(code));
      return withStatus(kStatusUnknownRequest);
  }
}

std::vector<uint8_t> CardRequests::waitForChange(const std::vector<uint8_t>& payload, CardPresence& presence,
                                                 const ReaderSocket::ConnectionWatch& watch) {
  if (payload.size() != kWaitPayloadSize || payload[0] > 1) return withStatus(kStatusWrongSize);
  const uint32_t waitMs = littleEndian32(payload.data() + 1);
  if (waitMs > kMaxWaitMs) return withStatus(kStatusWrongSize);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  if (presence.waitForChange(payload[0] == 1, deadline, watch) == CardPresence::WaitEnd::kGone) {
    return withStatus(kStatusDeviceRemoved);
  }
  return withStatus(kStatusSuccess, {static_cast<uint8_t>(presence.present() ? 1 : 0)});
}

std::vector<uint8_t> CardRequests::answer(const std::shared_ptr<trevalon::Device>& device,
                                          const std::vector<uint8_t>& request) {
  TREVALON_TRACE();
  const std::list<std::shared_ptr<trevalon::Slot>> slots = device->getSlots();
  const std::shared_ptr<trevalon::Slot> slot = slots.empty() ? nullptr : slots.front();
  if (!slot || !CardPresence::isPresent(slot->getState())) return withStatus(kStatusNoCard);
  const std::shared_ptr<trevalon::Card> card = slot->getCard();
  if (!card) return withStatus(kStatusCardMute);
  switch (request.at(0)) {
    case kPowerUp:
      return powerUp(*card);
    case kPowerDown:
      // Nothing to do for a card that is not powered; a failed power-down leaves a card the next power-up resets.
      card->shutdown();
      return withStatus(kStatusSuccess);
    case kTransmit:
      return transmit(*card, std::vector<uint8_t>(request.begin() + 1, request.end()));
    default:
      return withStatus(kStatusUnknownRequest);
  }
}

std::vector<uint8_t> CardRequests::powerUp(trevalon::Card& card) {
  // A power-up is a fresh start of the card even when the library still holds it powered (or asleep) from an
  // earlier client, so no PIN verified for someone else carries over.
  card.shutdown();
  const std::vector<uint8_t> atr = card.getAtr();
  if (atr.empty()) {
    TREVALON_LOG(warning, "card channel: the card gave no ATR");
    return withStatus(kStatusCardMute);
  }
  return withStatus(kStatusSuccess, atr);
}

std::vector<uint8_t> CardRequests::transmit(trevalon::Card& card, const std::vector<uint8_t>& apdu) {
  const std::vector<uint8_t> response = card.sendAPDU(apdu);
  if (response.empty()) {
    TREVALON_LOG(warning, "card channel: the card did not answer an APDU of %zu bytes", apdu.size());
    return withStatus(kStatusCardMute);
  }
  if (response.size() > kMaxApdu) {
    TREVALON_LOG(warning, "card channel: a response of %zu bytes exceeds the channel's %zu", response.size(), kMaxApdu);
    return withStatus(kStatusRefused);
  }
  return withStatus(kStatusSuccess, response);
}

}  // namespace kelvo::driver
