// SPDX-License-Identifier: Apache-2.0
#include "IfdReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "IfdLog.h"

namespace kelvo::ifd {

namespace {

using Outcome = CardChannelClient::Outcome;
namespace cc = cardchannel;

std::string hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char digits[3];
  for (const uint8_t byte : bytes) {
    std::snprintf(digits, sizeof(digits), "%02X", byte);
    text += digits;
  }
  return text;
}

const char* statusMeaning(uint8_t status) {
  switch (status) {
    case cc::kStatusWrongSize:
      return "a payload of the wrong size";
    case cc::kStatusResponseTooLong:
      return "the card's response is over 1024 bytes";
    case cc::kStatusNotServed:
      return "a request the driver does not serve";
    case cc::kStatusNoCard:
      return "no card in the reader";
    case cc::kStatusCardSilent:
      return "the card did not answer";
    case cc::kStatusAccessRefused:
      return "access refused";
    case cc::kStatusBusy:
      return "the reader is busy";
    case cc::kStatusTimedOut:
      return "the reader did not answer in time";
    case cc::kStatusReaderLost:
      return "the reader was lost";
    default:
      return "an unknown status";
  }
}

}  // namespace

IfdReader::IfdReader(std::string socketPath, CardChannelTimeouts timeouts)
    : socketPath(std::move(socketPath)), timeouts(timeouts), pollClient(this->socketPath, timeouts) {}

CardChannelClient::Answer IfdReader::ask(uint8_t code, const std::vector<uint8_t>& payload) {
  CardChannelClient client(socketPath, timeouts);
  return client.request(code, payload);
}

RESPONSECODE IfdReader::failure(Request request, const CardChannelClient::Answer& answer) {
  static const char* const names[] = {"card status", "power up", "power down", "transmit", "wait for change"};
  const char* name = names[static_cast<int>(request)];
  if (answer.outcome != Outcome::Answered) {
    logFailure(socketPath + ": " + name + ": " + answer.failure);
    return answer.outcome == Outcome::SocketGone ? IFD_NO_SUCH_DEVICE : IFD_COMMUNICATION_ERROR;
  }
  logFailure(socketPath + ": " + name + ": status " + std::to_string(answer.status) + ", " +
             statusMeaning(answer.status));
  switch (answer.status) {
    case cc::kStatusNoCard:
      if (request == Request::Transmit) return IFD_ICC_NOT_PRESENT;
      return request == Request::Power ? IFD_ERROR_POWER_ACTION : IFD_COMMUNICATION_ERROR;
    case cc::kStatusCardSilent:
      return request == Request::Power ? IFD_ERROR_POWER_ACTION : IFD_RESPONSE_TIMEOUT;
    case cc::kStatusTimedOut:
      return IFD_RESPONSE_TIMEOUT;
    case cc::kStatusReaderLost:
      // Presence is how pcscd learns that a reader is gone; a request in progress just fails.
      return request == Request::Status ? IFD_NO_SUCH_DEVICE : IFD_COMMUNICATION_ERROR;
    default:
      return IFD_COMMUNICATION_ERROR;
  }
}

RESPONSECODE IfdReader::open() {
  const auto answer = ask(cc::kCardStatus);
  if (answer.outcome == Outcome::Answered && answer.status == cc::kStatusDone && answer.payload.size() == 1) {
    const std::lock_guard<std::mutex> lock(mutex);
    cardPresent = answer.payload[0] != 0;
    return IFD_SUCCESS;
  }
  const RESPONSECODE code = failure(Request::Status, answer);
  return code == IFD_NO_SUCH_DEVICE ? code : IFD_COMMUNICATION_ERROR;
}

RESPONSECODE IfdReader::presence() {
  const auto answer = ask(cc::kCardStatus);
  if (answer.outcome != Outcome::Answered || answer.status != cc::kStatusDone) return failure(Request::Status, answer);
  if (answer.payload.size() != 1) {
    logFailure(socketPath + ": card status: an answer of " + std::to_string(answer.payload.size()) + " bytes");
    return IFD_COMMUNICATION_ERROR;
  }
  const bool present = answer.payload[0] != 0;
  const std::lock_guard<std::mutex> lock(mutex);
  cardPresent = present;
  // A card taken out takes its ATR with it; pcscd powers up the next one.
  if (!present) atr.clear();
  return present ? IFD_ICC_PRESENT : IFD_ICC_NOT_PRESENT;
}

RESPONSECODE IfdReader::storeAtr(const CardChannelClient::Answer& answer, uint8_t* buffer, DWORD* bufferLength) {
  const auto& received = answer.payload;
  if (received.empty() || received.size() > MAX_ATR_SIZE) {
    logFailure(socketPath + ": power up: an ATR of " + std::to_string(received.size()) + " bytes");
    *bufferLength = 0;
    return IFD_ERROR_POWER_ACTION;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex);
    atr = received;
  }
  if (buffer == nullptr || *bufferLength < received.size()) {
    logFailure(socketPath + ": power up: the ATR " + hex(received) + " does not fit a buffer of " +
               std::to_string(*bufferLength) + " bytes");
    *bufferLength = 0;
    return IFD_ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(buffer, received.data(), received.size());
  *bufferLength = static_cast<DWORD>(received.size());
  return IFD_SUCCESS;
}

RESPONSECODE IfdReader::powerUp(uint8_t* buffer, DWORD* bufferLength) {
  const auto answer = ask(cc::kPowerUp);
  if (answer.outcome == Outcome::Answered && answer.status == cc::kStatusDone) {
    return storeAtr(answer, buffer, bufferLength);
  }
  *bufferLength = 0;
  return failure(Request::Power, answer);
}

RESPONSECODE IfdReader::reset(uint8_t* buffer, DWORD* bufferLength) {
  const RESPONSECODE down = powerDown();
  if (down != IFD_SUCCESS) {
    *bufferLength = 0;
    return down;
  }
  return powerUp(buffer, bufferLength);
}

RESPONSECODE IfdReader::powerDown() {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    atr.clear();
  }
  const auto answer = ask(cc::kPowerDown);
  if (answer.outcome == Outcome::Answered && answer.status == cc::kStatusDone) return IFD_SUCCESS;
  // A card that is not there is as powered down as it gets.
  if (answer.outcome == Outcome::Answered && answer.status == cc::kStatusNoCard) return IFD_SUCCESS;
  return failure(Request::PowerDown, answer);
}

RESPONSECODE IfdReader::transmit(const uint8_t* command, DWORD commandLength, uint8_t* response,
                                 DWORD* responseLength) {
  const DWORD room = *responseLength;
  *responseLength = 0;
  if (command == nullptr || commandLength < 4 || commandLength > cc::kMaxApdu) {
    logFailure(socketPath + ": transmit: refused an APDU of " + std::to_string(commandLength) +
               " bytes (the card channel carries 4 to 1024)");
    return IFD_COMMUNICATION_ERROR;
  }
  if (response == nullptr || room < 2) {
    logFailure(socketPath + ": transmit: refused, a response buffer of " + std::to_string(room) +
               " bytes has no room for the status word");
    return IFD_ERROR_INSUFFICIENT_BUFFER;
  }
  const auto answer = ask(cc::kTransmit, std::vector<uint8_t>(command, command + commandLength));
  if (answer.outcome != Outcome::Answered || answer.status != cc::kStatusDone) {
    return failure(Request::Transmit, answer);
  }
  const auto& received = answer.payload;
  if (received.size() < 2) {
    logFailure(socketPath + ": transmit: a response of " + std::to_string(received.size()) + " bytes");
    return IFD_COMMUNICATION_ERROR;
  }
  if (received.size() > room) {
    logFailure(socketPath + ": transmit: a response of " + std::to_string(received.size()) +
               " bytes does not fit a buffer of " + std::to_string(room));
    return IFD_ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(response, received.data(), received.size());
  *responseLength = static_cast<DWORD>(received.size());
  return IFD_SUCCESS;
}

DWORD IfdReader::offeredProtocols(const std::vector<uint8_t>& atr) {
  // After TS and T0 come the interface bytes: each TDi says in its high nibble which of TA, TB, TC, TD(i+1)
  // follow, and in its low nibble a protocol the card offers. T0's high nibble does the same for the first group.
  DWORD protocols = 0;
  if (atr.size() < 2) return SCARD_PROTOCOL_T0;
  size_t index = 1;
  uint8_t indicator = atr[index];
  bool first = true;
  for (;;) {
    if (!first) {
      const unsigned protocol = indicator & 0x0F;
      if (protocol == 0) protocols |= SCARD_PROTOCOL_T0;
      if (protocol == 1) protocols |= SCARD_PROTOCOL_T1;
    }
    first = false;
    const unsigned present = indicator >> 4;
    // TA, TB and TC, when present, come before TD.
    index += static_cast<size_t>(__builtin_popcount(present & 0x7));
    if ((present & 0x8) == 0) break;
    ++index;
    if (index >= atr.size()) break;
    indicator = atr[index];
  }
  return protocols == 0 ? SCARD_PROTOCOL_T0 : protocols;
}

RESPONSECODE IfdReader::selectProtocol(DWORD protocol) {
  std::vector<uint8_t> current;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    current = atr;
  }
  if (current.empty()) {
    logFailure(socketPath + ": protocol selection without a powered card");
    return IFD_COMMUNICATION_ERROR;
  }
  const DWORD offered = offeredProtocols(current);
  const bool single = protocol == SCARD_PROTOCOL_T0 || protocol == SCARD_PROTOCOL_T1;
  if (single && (offered & protocol) != 0) return IFD_SUCCESS;
  logFailure(socketPath + ": protocol " + std::to_string(protocol) + " is not offered by the ATR " + hex(current));
  return IFD_PROTOCOL_NOT_SUPPORTED;
}

RESPONSECODE IfdReader::copyAtr(uint8_t* value, DWORD* length) {
  const std::lock_guard<std::mutex> lock(mutex);
  if (*length < atr.size()) {
    *length = 0;
    return IFD_ERROR_INSUFFICIENT_BUFFER;
  }
  if (!atr.empty()) std::memcpy(value, atr.data(), atr.size());
  *length = static_cast<DWORD>(atr.size());
  return IFD_SUCCESS;
}

RESPONSECODE IfdReader::waitForChange(int timeoutMs) {
  const uint32_t waitMs = timeoutMs <= 0 ? cc::kMaxWaitMs : std::min(static_cast<uint32_t>(timeoutMs), cc::kMaxWaitMs);
  uint8_t known = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    known = cardPresent ? 1 : 0;
    // A stop that came before this wait is still pending in the client and ends its request at once.
    stopRequested = false;
  }
  const std::vector<uint8_t> payload{
      known, static_cast<uint8_t>(waitMs & 0xFF), static_cast<uint8_t>((waitMs >> 8) & 0xFF),
      static_cast<uint8_t>((waitMs >> 16) & 0xFF), static_cast<uint8_t>((waitMs >> 24) & 0xFF)};
  const auto answer = pollClient.request(cc::kWaitForChange, payload, std::chrono::milliseconds(waitMs) + kWaitGrace);
  // A stopped wait has nothing to report; pcscd looks at the presence and its own flags next.
  if (answer.outcome == Outcome::Cancelled) return IFD_SUCCESS;
  const bool answered =
      answer.outcome == Outcome::Answered && answer.status == cc::kStatusDone && answer.payload.size() == 1;
  bool logIt = false;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    logIt = !answered && !waitFailing;
    waitFailing = !answered;
  }
  if (answered) return IFD_SUCCESS;
  // A driver that is away stays away for a while: one line when the waits start failing, not one a second.
  RESPONSECODE code = IFD_COMMUNICATION_ERROR;
  if (logIt) {
    code = failure(Request::Wait, answer);
  } else if (answer.outcome == Outcome::SocketGone) {
    code = IFD_NO_SUCH_DEVICE;
  }
  if (code != IFD_NO_SUCH_DEVICE) code = IFD_COMMUNICATION_ERROR;
  pauseUnlessStopped();
  return code;
}

void IfdReader::pauseUnlessStopped() {
  std::unique_lock<std::mutex> lock(mutex);
  stopped.wait_for(lock, kUnreachablePause, [this] { return stopRequested; });
}

void IfdReader::stopWaiting() {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stopRequested = true;
  }
  stopped.notify_all();
  pollClient.cancel();
}

}  // namespace kelvo::ifd
