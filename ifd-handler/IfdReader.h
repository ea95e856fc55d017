// SPDX-License-Identifier: Apache-2.0
#pragma once
// The card of one reader as pcscd sees it through the handler: one Lun, one card socket of kelvo-driver.
//
// pcscd calls a reader's functions from its client threads and from the reader's polling thread at the same
// time, so nothing here holds the lock across a request: the lock guards the cached ATR, the presence last
// reported and the stop of the polling thread, never a connection's progress. Each request has a connection of
// its own; the polling thread's wait uses the one client that the stop can end from another thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <ifdhandler.h>
}

#include "CardChannelClient.h"

namespace kelvo::ifd {

class IfdReader {
 public:
  // How long a polling thread that cannot reach the driver waits before it returns, so that pcscd does not spin.
  static constexpr std::chrono::milliseconds kUnreachablePause{1000};
  // The wait for change may outlast the wait it asks for by this much before the handler gives up on the driver.
  static constexpr std::chrono::milliseconds kWaitGrace{5000};

  explicit IfdReader(std::string socketPath, CardChannelTimeouts timeouts = CardChannelTimeouts());
  IfdReader(const IfdReader&) = delete;
  IfdReader& operator=(const IfdReader&) = delete;

  // IFD_SUCCESS when the driver answers a card status request on the socket.
  RESPONSECODE open();
  // IFD_ICC_PRESENT or IFD_ICC_NOT_PRESENT, remembered for the polling thread's wait.
  RESPONSECODE presence();
  // The ATR into atr (room for *atrLength bytes); *atrLength becomes its length, 0 on a failure.
  RESPONSECODE powerUp(uint8_t* atr, DWORD* atrLength);
  // Power down, then up: the card forgets its session (selected application, verified PIN).
  RESPONSECODE reset(uint8_t* atr, DWORD* atrLength);
  RESPONSECODE powerDown();
  RESPONSECODE transmit(const uint8_t* command, DWORD commandLength, uint8_t* response, DWORD* responseLength);
  // Accepts a protocol the card's ATR offers.
  RESPONSECODE selectProtocol(DWORD protocol);
  // The cached ATR; an empty one while the card is not powered.
  RESPONSECODE copyAtr(uint8_t* value, DWORD* length);

  // The polling thread's wait: returns when the driver answers (the presence changed, or the wait ended), at once
  // after stopWaiting(), and after kUnreachablePause when the driver cannot be reached.
  RESPONSECODE waitForChange(int timeoutMs);
  // Ends the wait in progress, or the next one when none is: pcscd stops a wait to start the next with another
  // time-out (after the last client disconnects) and before it removes the reader, and in both cases its polling
  // thread may be just about to wait.
  void stopWaiting();

  // The protocols an ATR offers, as SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1 bits; T=0 when it names none.
  static DWORD offeredProtocols(const std::vector<uint8_t>& atr);

 private:
  enum class Request { Status, Power, PowerDown, Transmit, Wait };

  CardChannelClient::Answer ask(uint8_t code, const std::vector<uint8_t>& payload = {});
  // The IFD code for an answer that is not a plain success, with one log line.
  RESPONSECODE failure(Request request, const CardChannelClient::Answer& answer);
  RESPONSECODE storeAtr(const CardChannelClient::Answer& answer, uint8_t* atr, DWORD* atrLength);
  void pauseUnlessStopped();

  const std::string socketPath;
  const CardChannelTimeouts timeouts;
  CardChannelClient pollClient;

  std::mutex mutex;
  std::condition_variable stopped;
  std::vector<uint8_t> atr;
  bool cardPresent = false;
  bool stopRequested = false;  // ends the pause of a wait that could not reach the driver
  bool waitFailing = false;    // the last wait failed; the next failure goes unlogged
};

}  // namespace kelvo::ifd
