// SPDX-License-Identifier: Apache-2.0
#pragma once
// Virtual base of every layer, observer and provider: lets an object hand out a shared pointer to itself from
// any of its interfaces, which a layer needs to register itself as observer of the layer below.

#include <memory>

namespace trevalon::common {

class Shareable : public std::enable_shared_from_this<Shareable> {
 public:
  virtual ~Shareable() = default;

  // This object as another of its interfaces; empty if it is not one or is not held by a shared pointer.
  template <typename Interface>
  std::shared_ptr<Interface> sharedAs() {
    std::shared_ptr<Shareable> self = weak_from_this().lock();
    return std::dynamic_pointer_cast<Interface>(self);
  }
};

}  // namespace trevalon::common
