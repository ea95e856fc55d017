// SPDX-License-Identifier: Apache-2.0
#include "trevalon/common/Worker.h"

#include <thread>

#include "trevalon/common/ScopeTrace.h"

namespace trevalon::common {

void Worker::run(std::function<void()> callable) {
  TREVALON_TRACE();
  std::thread(std::move(callable)).detach();
  std::this_thread::yield();
}

}  // namespace trevalon::common
