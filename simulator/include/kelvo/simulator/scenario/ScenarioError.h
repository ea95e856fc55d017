// SPDX-License-Identifier: Apache-2.0
#pragma once
// A scenario file that cannot be used; the message names the place in the file and what is wrong there.

#include <stdexcept>
#include <string>

namespace kelvo::simulator {

class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kelvo::simulator
