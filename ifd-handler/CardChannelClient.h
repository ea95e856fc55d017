// SPDX-License-Identifier: Apache-2.0
#pragma once
// One request on a reader's card channel, the Unix socket kelvo-driver serves for the card of one reader: connect,
// write [code][payload], half-close, read [status][payload] until the driver closes. Every request has a
// connection of its own, so kelvo-driver and pcscd may each restart and the other side sees one failed request at
// most.
//
// pcscd runs the handler on its own threads and must never hang in it, so every step has a deadline: the connect
// its own short one (a driver that accepts nothing is as good as gone), the rest the request's limit.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kelvo::ifd {

// The card channel's request codes and answer statuses, as kelvo-driver serves them (docs/pcsc.md).
namespace cardchannel {
constexpr uint8_t kCardStatus = 0x40;
constexpr uint8_t kPowerUp = 0x41;
constexpr uint8_t kPowerDown = 0x42;
constexpr uint8_t kTransmit = 0x43;
constexpr uint8_t kWaitForChange = 0x44;

constexpr uint8_t kStatusDone = 0;
constexpr uint8_t kStatusWrongSize = 5;
constexpr uint8_t kStatusResponseTooLong = 6;
constexpr uint8_t kStatusNotServed = 7;
constexpr uint8_t kStatusNoCard = 10;
constexpr uint8_t kStatusCardSilent = 11;
constexpr uint8_t kStatusAccessRefused = 250;
constexpr uint8_t kStatusBusy = 251;
constexpr uint8_t kStatusTimedOut = 252;
constexpr uint8_t kStatusReaderLost = 253;

// An APDU or a response: the card channel carries extended ones up to this size each way.
constexpr size_t kMaxApdu = 1024;
constexpr size_t kMaxMessage = kMaxApdu + 1;
constexpr uint32_t kMaxWaitMs = 600000;
}  // namespace cardchannel

struct CardChannelTimeouts {
  std::chrono::milliseconds connect{500};
  // Longer than the driver's own deadlines (2 s to read, 5 s to reach the reader, 10 s for its answer), so the
  // driver's status reaches us before we give up.
  std::chrono::milliseconds request{20000};
};

class CardChannelClient {
 public:
  enum class Outcome {
    Answered,    // status and payload are the driver's
    SocketGone,  // no socket at the path or nobody listening: the reader or the driver is gone
    Failed,      // anything else: a time-out, a connection closed without an answer, a malformed answer
    Cancelled,   // cancel() ended it
  };
  struct Answer {
    Outcome outcome = Outcome::Failed;
    uint8_t status = 0;
    std::vector<uint8_t> payload;
    std::string failure;  // what went wrong when not answered, for the log line
  };

  explicit CardChannelClient(std::string socketPath, CardChannelTimeouts timeouts = CardChannelTimeouts());
  CardChannelClient(const CardChannelClient&) = delete;
  CardChannelClient& operator=(const CardChannelClient&) = delete;

  Answer request(uint8_t code, const std::vector<uint8_t>& payload);
  // A request that may last longer than the usual limit: a wait for change.
  Answer request(uint8_t code, const std::vector<uint8_t>& payload, std::chrono::milliseconds limit);

  // Ends the request in progress on another thread at once; when none is in progress, the next one ends before
  // it starts. A cancel is used up by the one request it ends. Meant for a client that runs one request at a
  // time (the polling thread's), so that a stop that comes just before its wait is not lost.
  void cancel();

  const std::string& path() const { return socketPath; }

 private:
  using Clock = std::chrono::steady_clock;

  int openSocket(Answer& answer);
  bool connectSocket(int fd, Answer& answer);
  bool sendRequest(int fd, const std::vector<uint8_t>& message, Clock::time_point deadline, Answer& answer);
  bool readAnswer(int fd, Clock::time_point deadline, Answer& answer);
  // Waits for `events` on fd until the deadline; false, with the answer saying why, on a time-out or a cancel.
  bool waitFor(int fd, short events, Clock::time_point deadline, const char* step, Answer& answer);
  bool isCancelled();
  void closeSocket(int fd);

  std::string socketPath;
  CardChannelTimeouts timeouts;
  std::mutex mutex;  // guards activeFd and cancelPending
  int activeFd = -1;
  bool cancelPending = false;
};

}  // namespace kelvo::ifd
