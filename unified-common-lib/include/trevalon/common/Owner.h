// SPDX-License-Identifier: Apache-2.0
#pragma once
// Holds the layer below strongly. A layer owns the one below it and never the one above.

#include <memory>
#include <mutex>

#include "trevalon/common/Shareable.h"

namespace trevalon::common {

template <typename T>
class Owner : public virtual Shareable {
 public:
  ~Owner() override = default;

  virtual void set(std::shared_ptr<T> owned) {
    std::lock_guard<std::mutex> guard(ownedLock);
    held = std::move(owned);
  }

 protected:
  // A copy keeps the lower alive for the whole of a call even if another thread replaces it meanwhile.
  std::shared_ptr<T> heldCopy() const {
    std::lock_guard<std::mutex> guard(ownedLock);
    return held;
  }

  std::shared_ptr<T> exchangeHeld(std::shared_ptr<T> owned) {
    std::lock_guard<std::mutex> guard(ownedLock);
    std::swap(held, owned);
    return owned;
  }

 private:
  std::shared_ptr<T> held;
  mutable std::mutex ownedLock;
};

}  // namespace trevalon::common
