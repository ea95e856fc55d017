// SPDX-License-Identifier: Apache-2.0
#pragma once
// A card socket served the way kelvo-driver serves one (docs/pcsc.md), on a thread per connection, with a card
// the test controls: its presence, its ATR, its answers to APDUs. A test can replace the answer to any request,
// or have the fake hang up without one. Every request is recorded.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvo::test {

class FakeCardChannel {
 public:
  struct Request {
    uint8_t code = 0;
    std::vector<uint8_t> payload;
  };
  struct Reply {
    std::vector<uint8_t> bytes;  // [status][payload]
    bool hangUp = false;         // close without an answer, as a driver that dies mid-request
  };
  // The answer to a request in place of the card's own; nothing leaves it to the card.
  using Override = std::function<std::optional<Reply>(const Request&)>;
  using ApduResponder = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& command)>;

  explicit FakeCardChannel(std::string path);
  ~FakeCardChannel();
  FakeCardChannel(const FakeCardChannel&) = delete;
  FakeCardChannel& operator=(const FakeCardChannel&) = delete;

  bool start();
  // Removes the socket file, then ends every connection: the driver is gone.
  void stop();

  void setCardPresent(bool present);
  void setAtr(std::vector<uint8_t> atr);
  void setApduResponder(ApduResponder responder);
  void setOverride(Override override);

  std::vector<Request> requests();
  std::vector<uint8_t> requestCodes();
  // Waits for change the fake holds right now, and those that ended because the client hung up.
  int waitsInProgress();
  int waitsEndedByClient();
  // Blocks until `count` waits are held, or false after `limit`.
  bool awaitWaits(int count, std::chrono::milliseconds limit = std::chrono::seconds(5));

  const std::string& path() const { return socketPath; }

 private:
  void acceptLoop();
  void serve(int fd);
  Reply answer(int fd, const Request& request);
  Reply waitForChange(int fd, const Request& request);

  std::string socketPath;
  int listenFd = -1;
  std::atomic<bool> stopping{false};
  std::thread acceptor;

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::thread> connections;
  std::vector<Request> received;
  bool cardPresent = true;
  std::vector<uint8_t> atr{0x3B, 0x02, 0x14, 0x50};
  ApduResponder apduResponder;
  Override override;
  int heldWaits = 0;
  int hungUpWaits = 0;
};

}  // namespace kelvo::test
