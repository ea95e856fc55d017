// SPDX-License-Identifier: Apache-2.0
#pragma once
// Owns the layer below and is registered with it as a (weak) observer, so that notifications come up while
// ownership goes down. T names its observer interface as `T::Observer`.

#include <memory>

#include "trevalon/common/Owner.h"

namespace trevalon::common {

template <typename T>
class Master : public Owner<T>, public T::Observer {
 public:
  using Lower = T;
  using LowerObserver = typename T::Observer;

  ~Master() override = default;

  void set(std::shared_ptr<T> lower) override { setMaster(std::move(lower)); }

  // Detach from the old lower first, then attach to the new one; an empty lower just detaches.
  virtual void setMaster(std::shared_ptr<T> lower) {
    std::shared_ptr<LowerObserver> self = this->template sharedAs<LowerObserver>();
    std::shared_ptr<T> previous = this->exchangeHeld(lower);
    if (previous && self) {
      previous->removeObserver(self);
    }
    if (lower && self) {
      lower->addObserver(self);
    }
  }

  std::shared_ptr<T> getMaster() const { return this->heldCopy(); }
};

}  // namespace trevalon::common
