#pragma once
// The listening socket of one reader: one request per connection, the status byte first, at most kMaxMessage
// bytes each way. Every connection is served on a thread of its own with a deadline, so a silent, slow or
// vanished client costs one slot for kRequestTimeout and never holds up the others. When every slot is taken
// the socket stops accepting; further clients then meet a full backlog and see the driver as busy.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvo::driver {

class ReaderSocket {
 public:
  // Answers one whole request (code first) with the whole answer (status first).
  using Handler = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)>;

  static constexpr size_t kMaxMessage = 1024;
  static constexpr std::chrono::milliseconds kRequestTimeout{2000};
  static constexpr size_t kMaxConnections = 16;
  static constexpr int kBacklog = 16;

  ReaderSocket(std::string path, Handler handler);
  ~ReaderSocket();
  ReaderSocket(const ReaderSocket&) = delete;
  ReaderSocket& operator=(const ReaderSocket&) = delete;

  // Creates the socket file (replacing a stale one), open to every local user, and starts accepting.
  bool start();
  // Requests still being served are answered with kStatusDeviceRemoved.
  void markLost();
  // Removes the socket file first, so new clients find nothing, then ends and joins every connection.
  void stop();

  const std::string& path() const { return socketPath; }
  size_t activeConnections();

 private:
  struct Connection {
    std::thread thread;
    bool done = false;
  };

  void acceptLoop();
  bool waitForFreeSlot();
  void serve(int clientFd, Connection* connection);
  // The request up to the client's half-close; nothing when the client said nothing in time, failed, or sent
  // more than kMaxMessage bytes (`tooLarge` is then set).
  std::optional<std::vector<uint8_t>> readRequest(int clientFd, bool& tooLarge);
  void drainRequest(int clientFd);
  void writeAnswer(int clientFd, const std::vector<uint8_t>& answer);
  // 0 when ready, -1 on time-out, stop or error.
  int waitReady(int fd, short events, std::chrono::steady_clock::time_point deadline);
  void reapFinished();

  const std::string socketPath;
  const Handler handler;
  int listenFd = -1;
  int stopFd = -1;  // an eventfd that becomes readable once at stop and wakes every poll
  std::atomic<bool> lost{false};
  std::thread acceptor;

  std::mutex connectionsLock;
  std::condition_variable slotFreed;
  bool stopping = false;
  std::list<Connection> connections;
};

}  // namespace kelvo::driver
