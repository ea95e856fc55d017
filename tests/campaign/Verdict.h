// SPDX-License-Identifier: Apache-2.0
#pragma once
// What one answer of the driver was worth, measured against what the emulated reader holds.

#include <string>

namespace kelvo::campaign {

struct Verdict {
  enum class Kind {
    correct,     // the truth, or the refusal the request must meet
    failed,      // a clear failure: a non-zero status (also the reader's, inside an RPC answer), no connection
    wrong,       // status 0 with content that is not the truth, or garbage
    unanswered,  // no answer within the campaign's deadline
  };
  Kind kind = Kind::correct;
  // For failures the kind of failure ("set-setting: status 6"), for wrong answers what differed.
  std::string what;

  static Verdict correct() { return {Kind::correct, {}}; }
  static Verdict failed(std::string why) { return {Kind::failed, std::move(why)}; }
  static Verdict wrong(std::string why) { return {Kind::wrong, std::move(why)}; }
  static Verdict unanswered(std::string why) { return {Kind::unanswered, std::move(why)}; }
};

}  // namespace kelvo::campaign
