// SPDX-License-Identifier: Apache-2.0
#pragma once
// Turns one driver request (code first) into the in-process request on a reader's device and its answer
// (status first). Sizes are checked here, before the reader is touched, so a malformed request costs no radio
// traffic and never waits behind the reader's other requests.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalon/Device.h"

namespace kelvo::driver {

class RequestDispatcher {
 public:
  enum Request : uint8_t {
    kGetDeviceDescriptor = 1,
    kGetDeviceState = 2,
    kSetSetting = 3,
    kSetWorkingTimeRanges = 4,
    kTransmitRpc = 5,
    kIndicate = 6,
    kGetDriverVersion = 16,
  };

  static std::vector<uint8_t> answer(const std::shared_ptr<trevalon::Device>& device,
                                     const std::vector<uint8_t>& request);
  // The answer of a request that needs no reader: a wrong size, an unknown code, the driver's version. Nothing
  // when the request is one for the reader.
  static std::optional<std::vector<uint8_t>> answerWithoutReader(const std::vector<uint8_t>& request);
  static std::string driverVersion();

 private:
  static std::vector<uint8_t> withStatus(uint8_t status, const std::vector<uint8_t>& payload = {});
  static std::vector<uint8_t> descriptorAnswer(const std::shared_ptr<trevalon::Device>& device);
};

}  // namespace kelvo::driver
