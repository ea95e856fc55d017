// SPDX-License-Identifier: Apache-2.0
// The link timing of the simulated radio: packets per value, a write's response in the connection event after its
// last packet, a read's value in the event after its request, notifications back to back; and the ideal schedule,
// which leaves out the time the host took between operations.

#include <gtest/gtest.h>

#include "trevalon/sim/LinkModel.h"

namespace kelvo::test {
namespace {

using trevalon::sim::LinkModel;
using std::chrono::microseconds;

TEST(LinkModel, AValueTakesAPacketPerMtuWithItsAttHeader) {
  const struct {
    size_t bytes;
    size_t mtu;
    size_t packets;
  } cases[] = {{0, 23, 1}, {20, 23, 1}, {21, 23, 2}, {244, 247, 1}, {245, 247, 2}, {520, 247, 3}};
  for (const auto& test : cases) {
    EXPECT_EQ(LinkModel::packetsFor(test.bytes, test.mtu), test.packets) << test.bytes << " bytes, MTU " << test.mtu;
  }
}

TEST(LinkModel, OperationsWaitForTheirPacketsAndResponsesAndTheIdealScheduleLeavesOutTheHostsTime) {
  // 10 ms between connection events, four slots of 2.5 ms each.
  LinkModel link({microseconds(10000), 4, 23});
  const LinkModel::Clock::time_point start{};
  auto at = [start](long us) { return start + microseconds(us); };
  // Two packets (2.5 ms each), then the response in the next event's first slot: 10 ms + 2.5 ms.
  EXPECT_EQ(link.book(LinkModel::Operation::write, 40, at(0)), at(12500));
  // Asked at once: three notification packets back to back.
  EXPECT_EQ(link.book(LinkModel::Operation::notification, 50, at(12500)), at(20000));
  // The host took 3 ms: the read's request goes out at 23 ms, its one-packet value comes in the event at 30 ms.
  EXPECT_EQ(link.book(LinkModel::Operation::read, 10, at(23000)), at(32500));
  // A notification queued while the link is still busy waits for it.
  EXPECT_EQ(link.book(LinkModel::Operation::notification, 10, at(30000)), at(35000));
  // Without the host's 3 ms the read's request goes at 20 ms and its value still comes at 32.5 ms.
  EXPECT_EQ(link.idealTime(), microseconds(35000));
}

TEST(LinkModel, TheHostsDelayShowsInTheRealScheduleOnly) {
  // One packet per 7.5 ms event: a write's packet, then its response one event later.
  LinkModel link({microseconds(7500), 1, 247});
  const LinkModel::Clock::time_point start{};
  EXPECT_EQ(link.book(LinkModel::Operation::write, 20, start), start + microseconds(22500));
  // 12.5 ms of host time: the next write goes out at 35 ms; in the ideal schedule at 22.5 ms, done at 45 ms.
  EXPECT_EQ(link.book(LinkModel::Operation::write, 20, start + microseconds(35000)), start + microseconds(52500));
  EXPECT_EQ(link.idealTime(), microseconds(45000));
}

}  // namespace
}  // namespace kelvo::test
