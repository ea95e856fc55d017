// SPDX-License-Identifier: Apache-2.0
#pragma once
// The events of one reader waiting for delivery to the layers above, in the order they happened: unsolicited
// notifications and availability changes. A reader can notify far faster than the layers above take the
// events (a battery gauge, a faulty or hostile device), so notifications are bounded: once `capacity` of them
// wait, a new one replaces the waiting ones of its kind (same service, characteristic and first byte, the
// notification id), and the latest value of each kind is delivered, after the kinds that came before it.
// Kinds that report a state whose every change matters (a card that left, then came back) are declared
// stateful: of those only a waiting event with the very same value is replaced, so no state the reader passed
// through is lost. Availability changes are never merged: each is a link coming or going, and the layers
// above rebuild or tear down on each. Not thread-safe; the owner guards it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "trevalon/ble/Uuid.h"

namespace trevalon::ble {

class ReaderEventQueue {
 public:
  struct Event {
    enum class Type : uint8_t { notification, availability };
    Type type = Type::notification;
    Uuid service;
    Uuid characteristic;
    std::vector<uint8_t> data;
    bool available = false;
  };
  // Whether the notification kind (service, characteristic, first byte) reports a state.
  using StatefulKind = std::function<bool(const Uuid& service, const Uuid& characteristic, uint8_t id)>;

  static constexpr size_t kDefaultCapacity = 64;

  explicit ReaderEventQueue(size_t capacity = kDefaultCapacity, StatefulKind stateful = nullptr);

  void pushNotification(Uuid service, Uuid characteristic, std::vector<uint8_t> data);
  void pushAvailability(bool available);
  // The oldest event; empty when none waits.
  std::optional<Event> pop();

  size_t size() const { return events.size(); }
  size_t waitingNotifications() const { return notifications; }

 private:
  bool isStateful(const Event& event) const;
  // Removes the waiting notifications that the new one replaces.
  void removeReplaced(const Event& incoming);
  // Past twice the capacity (a device that invents ever new kinds or states), the oldest notification goes,
  // one of a kind that is not stateful if there is one.
  void dropBeyondLimit();

  const size_t capacity;
  const StatefulKind stateful;
  std::deque<Event> events;
  size_t notifications = 0;
};

}  // namespace trevalon::ble
