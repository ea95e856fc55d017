// SPDX-License-Identifier: Apache-2.0
#pragma once
// kelvo-cli bridge info|scan|connect ADDR|pair CODE|abort|paired|rename NAME|rpc HEX|reset: the Bridge dongle
// through its control library, as the application drives it (rpc: the connected reader's RPC relayed). Addresses are 12 hexadecimal digits, most significant first.

#include <string>
#include <vector>

namespace kelvo::cli {

class BridgeCommand {
 public:
  static int run(const std::vector<std::string>& args);
};

}  // namespace kelvo::cli
