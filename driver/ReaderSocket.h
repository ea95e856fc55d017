// SPDX-License-Identifier: Apache-2.0
#pragma once
// The listening socket of one reader: one request per connection, the status byte first, at most limits.maxMessage
// bytes each way.
//
// Who: each connection's peer is judged by its kernel credentials before a byte of it is read; a peer the
// PeerPolicy refuses gets kStatusAccessRefused and nothing of its request goes anywhere. The socket file itself is
// open to every local user, since the check, not the file mode, decides.
//
// How many: every connection is served on a thread of its own with deadlines, so a silent, slow or vanished
// client costs one slot for a while and never holds up the others. One uid holds at most `perUid` connections at
// once (further ones are answered kStatusBusy at once), so a flood by one local user leaves room for the others;
// when all `total` slots are taken the socket stops accepting, further clients meet a full backlog and see the
// driver as busy.
//
// How long: requests that need the reader go through the reader's RequestQueue, so a client behind a slow reader
// hears kStatusBusy or kStatusTimedOut well within the client's own patience instead of nothing.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "PeerPolicy.h"
#include "RequestQueue.h"

namespace kelvo::driver {

// The socket's deadlines and quotas; tests shorten them.
struct ReaderSocketLimits {
  std::chrono::milliseconds ioTimeout{2000};        // for reading the request, and again for writing the answer
  std::chrono::milliseconds startDeadline{5000};    // for a request to reach the reader: then kStatusBusy
  std::chrono::milliseconds answerDeadline{10000};  // for the reader's answer once it has the request: then
                                                    // kStatusTimedOut
  std::chrono::milliseconds refusalLinger{250};     // for a refused peer to finish its request before the close
  size_t total = 16;
  size_t perUid = 4;
  size_t maxMessage = 1024;  // each way, code or status byte included
  mode_t fileMode = 0666;    // the application's sockets are open to all, the check decides; a card channel's is not
};

class ReaderSocket {
 public:
  using Handler = RequestQueue::Handler;

  // What a request answered on the connection's own thread may wait for: an event of its own (an eventfd), the
  // wait ended early by the client hanging up or the socket stopping, so that no wait outlives its client.
  class ConnectionWatch {
   public:
    enum class Wake { kEvent, kDeadline, kHangUp, kStop };
    ConnectionWatch(int clientFd, int stopFd) : clientFd(clientFd), stopFd(stopFd) {}
    Wake waitFor(int eventFd, std::chrono::steady_clock::time_point deadline) const;

   private:
    const int clientFd;
    const int stopFd;
  };

  // Answers a request that needs no reader (a wrong size, an unknown code, a wait for an event) on the connection's
  // own thread, so it never waits behind the reader; nothing when the request is the reader's.
  using Precheck = std::function<std::optional<std::vector<uint8_t>>(const std::vector<uint8_t>& request,
                                                                     const ConnectionWatch& watch)>;

  static constexpr size_t kMaxMessage = 1024;
  static constexpr int kBacklog = 16;

  ReaderSocket(std::string path, Handler handler, std::shared_ptr<const PeerPolicy> policy,
               ReaderSocketLimits limits = ReaderSocketLimits(), Precheck precheck = nullptr);
  // A socket whose reader requests share a queue with another socket of the same reader.
  ReaderSocket(std::string path, std::shared_ptr<RequestQueue> queue, std::shared_ptr<const PeerPolicy> policy,
               ReaderSocketLimits limits = ReaderSocketLimits(), Precheck precheck = nullptr);
  ~ReaderSocket();
  ReaderSocket(const ReaderSocket&) = delete;
  ReaderSocket& operator=(const ReaderSocket&) = delete;

  // Creates the socket file, open to every local user, and starts accepting. A stale socket of ours is replaced;
  // anything else in the way (a link, a file, another owner's socket) is refused.
  bool start();
  // Requests still waiting or being served are answered with kStatusDeviceRemoved.
  void markLost();
  // Removes the socket file first, so new clients find nothing, then ends and joins every connection.
  void stop();

  const std::string& path() const { return socketPath; }
  size_t activeConnections();

 private:
  struct Connection {
    std::thread thread;
    uid_t uid = 0;
    bool done = false;
  };

  void acceptLoop();
  bool waitForFreeSlot();
  // Takes a new connection, or answers it busy when its uid is at its quota. Called with connectionsLock held.
  void admitLocked(int clientFd);
  void turnAway(int clientFd, uid_t uid);
  void serve(int clientFd, Connection* connection, uid_t uid, gid_t gid, pid_t pid);
  std::vector<uint8_t> answerOf(const std::vector<uint8_t>& request, int clientFd);
  void finish(Connection* connection);
  // The request up to the client's half-close; nothing when the client said nothing in time, failed, or sent
  // more than limits.maxMessage bytes (`tooLarge` is then set).
  std::optional<std::vector<uint8_t>> readRequest(int clientFd, bool& tooLarge);
  // Reads and drops what the client still sends, until its half-close or `limit`.
  void drainRequest(int clientFd, std::chrono::milliseconds limit);
  void writeAnswer(int clientFd, const std::vector<uint8_t>& answer);
  // 0 when ready, -1 on time-out, stop or error.
  int waitReady(int fd, short events, std::chrono::steady_clock::time_point deadline);
  void reapFinished();
  size_t activeLocked() const;

  const std::string socketPath;
  const std::shared_ptr<const PeerPolicy> policy;
  const ReaderSocketLimits limits;
  const Precheck precheck;
  const std::shared_ptr<RequestQueue> queue;
  int listenFd = -1;
  int stopFd = -1;  // an eventfd that becomes readable once at stop and wakes every poll
  std::atomic<bool> lost{false};
  std::thread acceptor;

  std::mutex connectionsLock;
  std::condition_variable slotFreed;
  bool stopping = false;
  std::list<Connection> connections;
  std::map<uid_t, size_t> connectionsPerUid;
  std::set<uid_t> reportedAtQuota;  // one log line per uid while it stays at its quota, not one per connection
};

}  // namespace kelvo::driver
