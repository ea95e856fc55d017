// SPDX-License-Identifier: Apache-2.0
#pragma once
// The seat view a test declares: the uids listed sit at a seat, nobody else does.

#include <set>

#include "SeatSessions.h"

namespace kelvo::test {

class FixedSeatSessions : public driver::SeatSessions {
 public:
  explicit FixedSeatSessions(std::set<uid_t> seated = {}) : seated(std::move(seated)) {}

  bool hasActiveLocalSession(uid_t uid) override { return seated.count(uid) != 0; }

 private:
  const std::set<uid_t> seated;
};

}  // namespace kelvo::test
