// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ble/ReaderEventQueue.h"

#include <algorithm>

namespace trevalon::ble {
namespace {

bool sameKind(const ReaderEventQueue::Event& a, const ReaderEventQueue::Event& b) {
  if (a.type != ReaderEventQueue::Event::Type::notification || b.type != a.type) return false;
  if (a.service != b.service || a.characteristic != b.characteristic) return false;
  if (a.data.empty() || b.data.empty()) return a.data.empty() && b.data.empty();
  return a.data[0] == b.data[0];
}

}  // namespace

ReaderEventQueue::ReaderEventQueue(size_t capacity, StatefulKind stateful)
    : capacity(std::max<size_t>(capacity, 1)), stateful(std::move(stateful)) {}

bool ReaderEventQueue::isStateful(const Event& event) const {
  return stateful && !event.data.empty() && stateful(event.service, event.characteristic, event.data[0]);
}

void ReaderEventQueue::removeReplaced(const Event& incoming) {
  const bool keepsEveryState = isStateful(incoming);
  const auto end = std::remove_if(events.begin(), events.end(), [&](const Event& waiting) {
    return sameKind(waiting, incoming) && (!keepsEveryState || waiting.data == incoming.data);
  });
  notifications -= static_cast<size_t>(events.end() - end);
  events.erase(end, events.end());
}

void ReaderEventQueue::pushNotification(Uuid service, Uuid characteristic, std::vector<uint8_t> data) {
  Event incoming;
  incoming.type = Event::Type::notification;
  incoming.service = service;
  incoming.characteristic = characteristic;
  incoming.data = std::move(data);
  if (notifications >= capacity) {
    // The waiting ones go and the new one queues last: the kinds stay in the order of their latest values.
    removeReplaced(incoming);
  }
  events.push_back(std::move(incoming));
  ++notifications;
  dropBeyondLimit();
}

void ReaderEventQueue::pushAvailability(bool available) {
  Event change;
  change.type = Event::Type::availability;
  change.available = available;
  events.push_back(std::move(change));
}

std::optional<ReaderEventQueue::Event> ReaderEventQueue::pop() {
  if (events.empty()) return std::nullopt;
  Event oldest = std::move(events.front());
  events.pop_front();
  if (oldest.type == Event::Type::notification) --notifications;
  return oldest;
}

void ReaderEventQueue::dropBeyondLimit() {
  if (notifications <= 2 * capacity) return;
  auto isNotification = [](const Event& event) { return event.type == Event::Type::notification; };
  auto victim = std::find_if(events.begin(), events.end(),
                             [&](const Event& event) { return isNotification(event) && !isStateful(event); });
  if (victim == events.end()) victim = std::find_if(events.begin(), events.end(), isNotification);
  events.erase(victim);
  --notifications;
}

}  // namespace trevalon::ble
