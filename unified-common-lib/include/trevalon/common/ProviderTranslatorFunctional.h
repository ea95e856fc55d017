// SPDX-License-Identifier: Apache-2.0
#pragma once
// A provider translator whose translation is a function given at construction (the reader-stack factory).

#include <functional>
#include <utility>

#include "trevalon/common/ProviderTranslator.h"

namespace trevalon::common {

template <typename From, typename To>
class ProviderTranslatorFunctional : public Translator<trevalon::Provider<From>, trevalon::Provider<To>> {
 public:
  explicit ProviderTranslatorFunctional(std::function<To(From)> function) : function(std::move(function)) {}
  ~ProviderTranslatorFunctional() override = default;

  To translate(const From& item) override { return function(item); }

 private:
  std::function<To(From)> function;
};

}  // namespace trevalon::common
