// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ReaderCardStateProxy.h"

#include "trevalon/common/ExchangeDescriber.h"
#include "trevalon/common/HexText.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon {
namespace {

bool isAsleep(CardState state) {
  return state == kCardAsleepPowered || state == kCardAsleepNegotiable || state == kCardAsleepSpecific;
}

bool isPoweredByUs(CardState state) {
  return state == kCardPowered || state == kCardNegotiable || state == kCardSpecific;
}

// While this layer manages the card's power, the reader's own report of a present card, powered or not, only
// restates what this layer did: a reset powers the card, a sleeping card is unpowered.
bool restatesManagedCard(CardState current, CardState reported) {
  const bool managed = current == kCardSwallowed || isPoweredByUs(current) || isAsleep(current);
  return managed && (reported == kCardPresent || reported == kCardUnidentified);
}

uint32_t protocolOfT(uint8_t t) {
  switch (t) {
    case 0:
      return kProtocolT0;
    case 1:
      return kProtocolT1;
    default:
      return kProtocolNone;
  }
}

}  // namespace

ReaderCardStateProxy::ReaderCardStateProxy(int64_t idlePeriodMs) : idlePeriodMs(idlePeriodMs) {}

ReaderCardStateProxy::~ReaderCardStateProxy() = default;

std::vector<uint32_t> ReaderCardStateProxy::readProtocols(const std::vector<uint8_t>& atr) {
  TREVALON_TRACE_ARGS(common::HexText::of(atr));
  enum Letter { kTA = 0, kTB, kTC, kTD, kNone };
  std::vector<uint32_t> protocols;
  if (atr.size() >= 2) {
    uint8_t indicators = atr[1] >> 4;
    int letter = kTA;
    for (size_t at = 2; at < atr.size(); ++at) {
      while (letter < kNone && (indicators & (1u << letter)) == 0) {
        ++letter;
      }
      if (letter == kNone) {
        break;  // the rest are historical bytes
      }
      indicators = static_cast<uint8_t>(indicators & ~(1u << letter));
      if (letter == kTD) {
        protocols.push_back(protocolOfT(atr[at] & 0x0F));
        indicators = atr[at] >> 4;
        letter = kTA;
      }
    }
  }
  if (protocols.empty()) {
    protocols.push_back(kProtocolT0);
  }
  return protocols;
}

bool ReaderCardStateProxy::lowerConnected() {
  std::shared_ptr<Reader> reader = getMaster();
  return reader && reader->isConnected();
}

CardState ReaderCardStateProxy::getState() {
  TREVALON_TRACE_QUIET();
  if (!lowerConnected()) {
    return kCardUnknown;
  }
  // Read without the card lock: a state query need not wait for an exchange in progress.
  return state.load();
}

uint32_t ReaderCardStateProxy::getProtocol() {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::recursive_mutex> guard(cardLock);
  return protocol;
}

void ReaderCardStateProxy::setCardState(CardState next) {
  TREVALON_TRACE_ARGS(std::to_string(next));
  std::lock_guard<std::recursive_mutex> guard(cardLock);
  if (!lowerConnected()) {
    next = kCardUnknown;
  }
  if (next == state) {
    return;
  }
  switch (next) {
    case kCardUnknown:
    case kCardAbsent:
    case kCardUnidentified:
      atr.clear();
      protocol = kProtocolNone;
      break;
    case kCardPresent:
    case kCardSwallowed:
    case kCardPowered:
    case kCardNegotiable:
    case kCardAsleepPowered:
    case kCardAsleepNegotiable:
      protocol = kProtocolNone;
      break;
    case kCardSpecific:
    case kCardAsleepSpecific:
      break;
    default:
      TREVALON_LOG(warning, "Unhandled CardState 0x%X", next);
      break;
  }
  state.store(next);
  notifySlot(&SlotObserver::onStateChanged, next);
}

std::vector<uint8_t> ReaderCardStateProxy::readAtr() {
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getAtr() : std::vector<uint8_t>();
}

std::vector<uint8_t> ReaderCardStateProxy::getAtr() {
  TREVALON_TRACE();
  std::lock_guard<std::recursive_mutex> guard(cardLock);
  restartIdleTimer();
  const CardState current = getState();
  if (isPoweredByUs(current) || isAsleep(current)) {
    return atr;
  }
  if (current != kCardPresent && current != kCardSwallowed) {
    TREVALON_LOG(error, "Invalid state: %hhi - card is not present", current);
    return {};
  }
  if (!atr.empty()) {
    setCardState(kCardAsleepNegotiable);
    return atr;
  }
  // Read until two reads agree, so that an ATR caught while the card was still settling is not kept.
  for (int pass = 0; pass < kMaxAtrPasses; ++pass) {
    std::vector<uint8_t> read = readAtr();
    if (read.empty()) {
      setCardState(kCardAbsent);
      return {};
    }
    if (read == atr) {
      return atr;
    }
    setCardState(kCardNegotiable);
    setProtocol(readProtocols(read).front());
    atr = std::move(read);
  }
  TREVALON_LOG(warning, "ATR differed on each of %i reads; the last one is kept", kMaxAtrPasses);
  return atr;
}

bool ReaderCardStateProxy::setProtocol(uint32_t requested) {
  TREVALON_TRACE_ARGS(std::to_string(requested));
  std::lock_guard<std::recursive_mutex> guard(cardLock);
  const CardState current = getState();
  if (current < kCardNegotiable ||
      (current > kCardSpecific && current != kCardAsleepNegotiable && current != kCardAsleepSpecific)) {
    TREVALON_LOG(warning, "Could not set Protocol: Card is not Negotiable");
    return false;
  }
  if (requested == kProtocolT0 || requested == kProtocolT1) {
    std::shared_ptr<Reader> reader = lower();
    const bool accepted = reader && reader->setProtocol(requested);
    if (accepted) {
      protocol = requested;
      if (current == kCardNegotiable) {
        setCardState(kCardSpecific);
      } else if (current == kCardAsleepNegotiable) {
        setCardState(kCardAsleepSpecific);
      }
    }
    return accepted;
  }
  if (requested == kProtocolAny || requested == kProtocolDefault) {
    return setProtocol(readProtocols(getAtr()).front());
  }
  TREVALON_LOG(warning, "Could not set Protocol: %i", static_cast<int>(requested));
  return false;
}

std::vector<uint8_t> ReaderCardStateProxy::sendAPDU(std::vector<uint8_t> apdu) {
  TREVALON_TRACE_ARGS(common::ExchangeDescriber::apdu(apdu));
  std::lock_guard<std::recursive_mutex> guard(cardLock);
  restartIdleTimer();
  const CardState current = getState();
  if (current == kCardAsleepNegotiable || current == kCardAsleepSpecific) {
    std::vector<uint8_t> woken = readAtr();
    if (woken.empty()) {
      // The card left while it slept: nothing to send the APDU to.
      setCardState(kCardAbsent);
      TREVALON_LOG(error, "card is not ready for communication");
      return {};
    }
    const uint32_t chosen = protocol;
    atr = std::move(woken);
    setCardState(kCardNegotiable);
    protocol = chosen;
  } else if (current != kCardNegotiable && current != kCardSpecific) {
    TREVALON_LOG(error, "card is not ready for communication");
    return {};
  }
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->sendAPDU(std::move(apdu)) : std::vector<uint8_t>();
}

bool ReaderCardStateProxy::shutdown() {
  TREVALON_TRACE();
  std::lock_guard<std::recursive_mutex> guard(cardLock);
  const CardState current = getState();
  if (isPoweredByUs(current)) {
    setCardState(kCardSwallowed);
    std::shared_ptr<Reader> reader = lower();
    return reader && reader->shutdown();
  }
  if (isAsleep(current)) {
    setCardState(kCardSwallowed);
    return true;
  }
  return false;
}

void ReaderCardStateProxy::unpower() {
  TREVALON_TRACE();
  std::lock_guard<std::recursive_mutex> guard(cardLock);
  // A reader out of reach has no powered card; asking it would only bring the link up again.
  if (lowerConnected()) {
    std::shared_ptr<Reader> reader = lower();
    if (reader) reader->shutdown();
  }
  switch (state.load()) {
    case kCardPowered:
      setCardState(kCardAsleepPowered);
      break;
    case kCardNegotiable:
      setCardState(kCardAsleepNegotiable);
      break;
    case kCardSpecific:
      setCardState(kCardAsleepSpecific);
      break;
    default:
      TREVALON_LOG(info, "No effect");
      break;
  }
}

void ReaderCardStateProxy::restartIdleTimer() {
  std::lock_guard<std::mutex> guard(timerLock);
  if (!idleTimer) {
    // The timer thread may fire while this layer is being released: it holds the layer only weakly.
    std::weak_ptr<ReaderCardStateProxy> self = sharedAs<ReaderCardStateProxy>();
    idleTimer = std::make_unique<common::Timer>(
        [self] {
          if (std::shared_ptr<ReaderCardStateProxy> proxy = self.lock()) proxy->unpower();
        },
        idlePeriodMs);
  }
  idleTimer->start();
}

void ReaderCardStateProxy::onStateChanged(CardState reported) {
  TREVALON_TRACE_ARGS(std::to_string(reported));
  std::lock_guard<std::recursive_mutex> guard(cardLock);
  const CardState current = state.load();
  if (restatesManagedCard(current, reported) && lowerConnected()) {
    TREVALON_LOG(debug, "card state 0x%X kept; the reader reported 0x%X", current, reported);
    return;
  }
  setCardState(reported);
}

void ReaderCardStateProxy::onProtocolChanged(uint32_t) { TREVALON_TRACE_QUIET(); }

}  // namespace trevalon
