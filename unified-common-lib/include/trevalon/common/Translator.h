// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader layer: an `Upper` made from a `Lower`. It implements Upper's operations by calling down and turns
// Lower's notifications into Upper's. Stacks are built bottom-up with createTranslator.

#include <memory>
#include <utility>

#include "trevalon/common/Master.h"
#include "trevalon/common/Observee.h"

namespace trevalon::common {

template <typename Upper, typename Lower>
class Translator : public Upper, public Master<Lower> {
 public:
  using UpperInterface = Upper;
  using LowerInterface = Lower;

  ~Translator() override = default;
};

// The translator factory: wraps `lower` in a new translator, or gives an empty pointer for an empty lower.
template <typename TranslatorClass, typename... Args>
std::shared_ptr<typename TranslatorClass::UpperInterface> createTranslator(
    std::shared_ptr<typename TranslatorClass::LowerInterface> lower, Args&&... args) {
  if (!lower) {
    return {};
  }
  auto translator = std::make_shared<TranslatorClass>(std::forward<Args>(args)...);
  translator->setMaster(std::move(lower));
  return translator;
}

}  // namespace trevalon::common
