// SPDX-License-Identifier: Apache-2.0
#pragma once
// Fire-and-forget threads. Nobody joins them: whatever the callable uses must be kept alive by the callable
// itself (capture shared pointers).

#include <functional>

namespace trevalon::common {

class Worker {
 public:
  static void run(std::function<void()> callable);
};

}  // namespace trevalon::common
