// SPDX-License-Identifier: Apache-2.0
#include "CardPresence.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include "trevalon/common/Log.h"

namespace kelvo::driver {

CardPresence::CardPresence(bool present) : cardIn(present) {}

bool CardPresence::isPresent(trevalon::CardState state) {
  // Unknown is also what a reader whose link is down reports: no card can be reached there.
  return state != trevalon::kCardUnknown && state != trevalon::kCardAbsent;
}

bool CardPresence::present() const {
  std::lock_guard<std::mutex> guard(lock);
  return cardIn;
}

CardPresence::WaitEnd CardPresence::waitForChange(bool known, std::chrono::steady_clock::time_point deadline,
                                                  const ReaderSocket::ConnectionWatch& watch) {
  const int ring = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (ring < 0) {
    TREVALON_LOG(error, "no eventfd for a card wait");
    return WaitEnd::kGone;
  }
  {
    // Registered before the presence is compared, so a change between the two still rings.
    std::lock_guard<std::mutex> guard(lock);
    if (closed) {
      ::close(ring);
      return WaitEnd::kGone;
    }
    if (cardIn != known) {
      ::close(ring);
      return WaitEnd::kAnswered;
    }
    waiters.insert(ring);
  }
  const ReaderSocket::ConnectionWatch::Wake wake = watch.waitFor(ring, deadline);
  bool gone = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    waiters.erase(ring);
    gone = closed;
  }
  ::close(ring);
  if (gone) return WaitEnd::kGone;
  using Wake = ReaderSocket::ConnectionWatch::Wake;
  return (wake == Wake::kEvent || wake == Wake::kDeadline) ? WaitEnd::kAnswered : WaitEnd::kGone;
}

void CardPresence::close() {
  std::lock_guard<std::mutex> guard(lock);
  closed = true;
  ringAllLocked();
}

void CardPresence::onStateChanged(trevalon::CardState state) {
  const bool now = isPresent(state);
  std::lock_guard<std::mutex> guard(lock);
  if (now == cardIn) return;
  cardIn = now;
  ringAllLocked();
}

void CardPresence::ringAllLocked() {
  const uint64_t one = 1;
  for (int ring : waiters) {
    [[maybe_unused]] ssize_t written = ::write(ring, &one, sizeof(one));
  }
}

}  // namespace kelvo::driver
