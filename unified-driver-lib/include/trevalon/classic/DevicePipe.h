// SPDX-License-Identifier: Apache-2.0
#pragma once
// The driver's six device requests served in process on a library device (the top of a reader stack), with
// the same result codes and records as over the driver's pipe. Requests for one reader are serialised by a
// named lock per reader address; requests for different readers run in parallel. The synchronous BLE reader
// delivers a reader's availability changes under the same lock, so a request must never be made from inside
// an availability notification: hand it to another thread.

#include <cstdint>
#include <memory>
#include <vector>

#include "trevalon/Device.h"

namespace trevalon::classic {

class DevicePipe {
 public:
  enum Code : uint8_t {
    kSuccess = 0,
    kReaderError = 1,  // the reader answered a status other than 0 (descriptor only)
    kWrongSize = 5,    // working-time ranges of the wrong size
    kRefused = 6,      // refused by us or by the reader, or not a Kelvo reader stack
  };
  static constexpr size_t kDeviceStateSize = 44;

  static uint8_t InvokeGetDeviceDescriptor(const std::shared_ptr<Device>& device, std::vector<uint8_t>& descriptor);
  static uint8_t InvokeGetDeviceState(const std::shared_ptr<Device>& device, std::vector<uint8_t>& record);
  static uint8_t InvokeIndicate(const std::shared_ptr<Device>& device, const std::vector<uint8_t>& request);
  static uint8_t InvokeSetSetting(const std::shared_ptr<Device>& device, const std::vector<uint8_t>& request);
  static uint8_t InvokeSetWorkingTimeRanges(const std::shared_ptr<Device>& device, const std::vector<uint8_t>& request);
  static uint8_t InvokeTransmitRpc(const std::shared_ptr<Device>& device, const std::vector<uint8_t>& request,
                                   std::vector<uint8_t>& response);

  // RPC methods a caller may not send: those that would undo the link's keys or the reader's identity, and
  // every id the reader does not define.
  static bool isRefusedMethod(uint8_t method);
  // The record's card status: 1 no card, 2 card not identified, 6 card ready.
  static uint8_t cardStatusOf(uint8_t cardState);
};

}  // namespace trevalon::classic
