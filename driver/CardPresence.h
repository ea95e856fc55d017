// SPDX-License-Identifier: Apache-2.0
#pragma once
// Whether a card is in one reader, as the library's slot events tell it, and waits for that to change. A wait
// costs nothing while nothing happens: no radio traffic, no periodic wake-up; each waiter sleeps on an eventfd
// of its own that a change or the end of the reader rings.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

#include "ReaderSocket.h"
#include "trevalon/CardState.h"
#include "trevalon/SlotObserver.h"

namespace kelvo::driver {

class CardPresence : public trevalon::SlotObserver {
 public:
  enum class WaitEnd { kAnswered, kGone };

  explicit CardPresence(bool present);

  static bool isPresent(trevalon::CardState state);

  bool present() const;
  // Returns when the presence differs from `known`, when `deadline` passes, or when the client hangs up or the
  // socket stops; kGone when the wait ended because the reader or the client went.
  WaitEnd waitForChange(bool known, std::chrono::steady_clock::time_point deadline,
                        const ReaderSocket::ConnectionWatch& watch);
  // The reader is gone: every wait ends now, and none starts again.
  void close();

  void onStateChanged(trevalon::CardState state) override;

 private:
  void ringAllLocked();

  mutable std::mutex lock;
  bool cardIn;
  bool closed = false;
  std::set<int> waiters;  // eventfds
};

}  // namespace kelvo::driver
