// SPDX-License-Identifier: Apache-2.0
// The bounded queue between a reader's notifications and their delivery: what it keeps when a reader notifies
// faster than the layers above take the events.
#include "trevalon/ble/ReaderEventQueue.h"

#include <gtest/gtest.h>

#include "trevalon/ble/ReaderServiceUuids.h"

using trevalon::ble::ReaderEventQueue;
using trevalon::ble::Uuid;
using Bytes = std::vector<uint8_t>;
using Type = ReaderEventQueue::Event::Type;

namespace {

const Uuid kService = trevalon::ble::kReaderService;
const Uuid kNotification = trevalon::ble::shortUuid(0x0008);
const Uuid kOther = trevalon::ble::shortUuid(0x0004);
constexpr uint8_t kCardStatus = 1;
constexpr uint8_t kBattery = 7;
constexpr uint8_t kSetting = 5;

ReaderEventQueue cardStatusKeeping(size_t capacity) {
  return ReaderEventQueue(
      capacity, [](const Uuid& service, const Uuid&, uint8_t id) { return service == kService && id == kCardStatus; });
}

// Every waiting event, oldest first, as text: "n:0701" for a notification, "a:1" for an availability change.
std::vector<std::string> drain(ReaderEventQueue& queue) {
  std::vector<std::string> out;
  while (std::optional<ReaderEventQueue::Event> event = queue.pop()) {
    if (event->type == Type::availability) {
      out.push_back(event->available ? "a:1" : "a:0");
      continue;
    }
    std::string text = event->characteristic == kOther ? "o:" : "n:";
    for (uint8_t byte : event->data) {
      static const char digits[] = "0123456789abcdef";
      text += digits[byte >> 4];
      text += digits[byte & 15];
    }
    out.push_back(text);
  }
  return out;
}

TEST(ReaderEventQueue, BelowItsCapacityEveryEventWaitsInArrivalOrder) {
  ReaderEventQueue queue = cardStatusKeeping(8);
  queue.pushNotification(kService, kNotification, {kBattery, 10});
  queue.pushAvailability(false);
  queue.pushNotification(kService, kNotification, {kBattery, 11});
  queue.pushAvailability(true);
  queue.pushNotification(kService, kNotification, {kCardStatus, 1});
  EXPECT_EQ(drain(queue), (std::vector<std::string>{"n:070a", "a:0", "n:070b", "a:1", "n:0101"}));
  EXPECT_FALSE(queue.pop());
}

TEST(ReaderEventQueue, WhenFullTheLatestOfEachKindSurvivesInTheOrderOfTheLatestValues) {
  struct Case {
    const char* what;
    std::vector<Bytes> notifications;  // on the notification characteristic unless the first byte is 0xEE
    std::vector<std::string> delivered;
  };
  const std::vector<Case> cases = {
      {"a battery flood: a full queue gives up the waiting values of the newcomer's kind",
       {{kBattery, 1}, {kBattery, 2}, {kBattery, 3}, {kBattery, 4}, {kBattery, 5}},
       {"n:0704", "n:0705"}},
      {"other kinds keep their place",
       {{kSetting, 3, 1}, {kBattery, 1}, {kBattery, 2}, {kBattery, 3}, {kBattery, 4}},
       {"n:050301", "n:0703", "n:0704"}},
      {"a kind that came back moves behind the others",
       {{kBattery, 1}, {kSetting, 3, 1}, {kBattery, 2}, {kBattery, 3}, {kBattery, 4}},
       {"n:050301", "n:0703", "n:0704"}},
      {"the same id on another characteristic is another kind",
       {{0xEE, kBattery, 9}, {kBattery, 1}, {kBattery, 2}, {kBattery, 3}},
       {"o:0709", "n:0703"}},
      {"a card taken out and put back is seen gone",
       {{kCardStatus, 1}, {kCardStatus, 6}, {kBattery, 1}, {kCardStatus, 1}, {kCardStatus, 6}, {kBattery, 2}},
       {"n:0101", "n:0106", "n:0702"}},
      {"a card put in and taken out ends gone",
       {{kCardStatus, 6}, {kCardStatus, 1}, {kCardStatus, 2}, {kCardStatus, 6}, {kCardStatus, 1}},
       {"n:0102", "n:0106", "n:0101"}},
  };
  for (const Case& c : cases) {
    ReaderEventQueue queue = cardStatusKeeping(3);
    for (const Bytes& value : c.notifications) {
      if (value[0] == 0xEE) {
        queue.pushNotification(kService, kOther, Bytes(value.begin() + 1, value.end()));
      } else {
        queue.pushNotification(kService, kNotification, value);
      }
    }
    EXPECT_EQ(drain(queue), c.delivered) << c.what;
  }
}

TEST(ReaderEventQueue, AvailabilityChangesAreNeverMergedNorCounted) {
  ReaderEventQueue queue = cardStatusKeeping(2);
  for (int i = 0; i < 5; ++i) {
    queue.pushAvailability(i % 2 == 0);
    queue.pushNotification(kService, kNotification, {kBattery, static_cast<uint8_t>(i)});
  }
  EXPECT_EQ(drain(queue), (std::vector<std::string>{"a:1", "a:0", "a:1", "a:0", "a:1", "n:0704"}));
}

TEST(ReaderEventQueue, ADeviceInventingEverNewKindsIsHeldToTwiceTheCapacity) {
  ReaderEventQueue queue = cardStatusKeeping(4);
  queue.pushNotification(kService, kNotification, {kCardStatus, 1});
  for (int id = 8; id < 200; ++id) queue.pushNotification(kService, kNotification, {static_cast<uint8_t>(id)});
  EXPECT_EQ(queue.waitingNotifications(), 8u);
  const std::vector<std::string> kept = drain(queue);
  EXPECT_EQ(kept.front(), "n:0101") << "the card status outlives kinds that are no state";
  EXPECT_EQ(kept.back(), "n:c7") << "the newest kind";
}

}  // namespace
