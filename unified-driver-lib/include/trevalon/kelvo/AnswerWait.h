// SPDX-License-Identifier: Apache-2.0
#pragma once
// How long the packet transfer waits for the first package of an answer, for the exchanges of this thread.
//
// A package lost on the air is only noticed by waiting for it, and the reader's lock is held meanwhile. Most
// requests are answered from the reader's memory within a few connection intervals, so a lost answer to them
// should cost seconds, not the ten seconds a smart-card command may need while the card computes. Frames
// sealed by the link encryption hide their method from the packet transfer, so the layer that still knows it
// sets the wait for the exchange it starts:
//   AnswerWait wait(AnswerWait::forMethod(method));
//   lower->transmitRaw(sealed, recover);
// Once an answer has begun, its further packages follow back to back and get kNextPackage each.

#include <chrono>
#include <cstdint>
#include <optional>

namespace trevalon::kelvo {

class AnswerWait {
 public:
  static constexpr std::chrono::seconds kPrompt{5};
  static constexpr std::chrono::seconds kNextPackage{3};
  // Smart-card commands, key agreements, flash writes and unknown methods. No longer than the driver waits
  // for a request before it answers "timed out": past that, waiting on only keeps the reader from others.
  static constexpr std::chrono::seconds kSlow{10};

  explicit AnswerWait(std::chrono::seconds firstPackage);
  ~AnswerWait();
  AnswerWait(const AnswerWait&) = delete;
  AnswerWait& operator=(const AnswerWait&) = delete;

  // The wait set by the innermost scope of this thread, if any.
  static std::optional<std::chrono::seconds> current();
  static std::chrono::seconds forMethod(uint8_t method);

 private:
  std::optional<std::chrono::seconds> outer;
};

}  // namespace trevalon::kelvo
