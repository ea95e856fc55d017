// SPDX-License-Identifier: Apache-2.0
#pragma once
// Device discovery: a provider announces items found and lost to its observers.

#include "trevalon/common/Observee.h"

namespace trevalon {

template <typename T>
class ProviderObserver : public virtual common::Shareable {
 public:
  ~ProviderObserver() override = default;
  virtual void onFound(const T& item) = 0;
  virtual void onLost(const T& item) = 0;
};

template <typename T>
class Provider : public common::Observee<ProviderObserver<T>> {
 public:
  using Item = T;
  using Observer = ProviderObserver<T>;
  ~Provider() override = default;
};

}  // namespace trevalon
