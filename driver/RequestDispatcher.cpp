// SPDX-License-Identifier: Apache-2.0
#include "RequestDispatcher.h"

#include "DriverStatus.h"
#include "trevalon/classic/DevicePipe.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/kelvo/LongTermEncryptor.h"

namespace kelvo::driver {
namespace {

using trevalon::classic::DevicePipe;

constexpr size_t kSetSettingSize = 2;
constexpr size_t kIndicateSize = 3;

}  // namespace

std::string RequestDispatcher::driverVersion() { return KELVO_DRIVER_VERSION; }

std::vector<uint8_t> RequestDispatcher::withStatus(uint8_t status, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> answer;
  answer.reserve(payload.size() + 1);
  answer.push_back(status);
  answer.insert(answer.end(), payload.begin(), payload.end());
  return answer;
}

std::vector<uint8_t> RequestDispatcher::descriptorAnswer(const std::shared_ptr<trevalon::Device>& device) {
  TREVALON_TRACE();
  std::vector<uint8_t> output;
  const uint8_t code = DevicePipe::InvokeGetDeviceDescriptor(device, output);
  // A reader that refuses our key agreement can never be reached until the user resets its keys: the client
  // tells them so instead of showing a reader that silently fails.
  if (code != kStatusSuccess && trevalon::kelvo::LongTermEncryptor::isKeyResetRequired(device->getAddress())) {
    return withStatus(kStatusKeyResetNeeded);
  }
  return withStatus(code, output);
}

std::optional<std::vector<uint8_t>> RequestDispatcher::answerWithoutReader(const std::vector<uint8_t>& request) {
  const uint8_t code = request.at(0);
  const size_t payloadSize = request.size() - 1;
  const std::vector<uint8_t> wrongSize = withStatus(kStatusWrongSize);
  switch (code) {
    case kGetDeviceDescriptor:
    case kGetDeviceState:
      if (payloadSize != 0) return wrongSize;
      return std::nullopt;
    case kSetSetting:
      if (payloadSize != kSetSettingSize) return wrongSize;
      return std::nullopt;
    case kSetWorkingTimeRanges:
      // The in-process request checks the record's size itself and answers its own code for a wrong one.
      return std::nullopt;
    case kTransmitRpc:
      if (payloadSize == 0) return wrongSize;
      return std::nullopt;
    case kIndicate:
      if (payloadSize != kIndicateSize) return wrongSize;
      return std::nullopt;
    case kGetDriverVersion: {
      if (payloadSize != 0) return wrongSize;
      const std::string version = driverVersion();
      return withStatus(kStatusSuccess, std::vector<uint8_t>(version.begin(), version.end()));
    }
    default:
      TREVALON_LOG(warning, "unknown request code %u", static_cast<unsigned>(code));
      return withStatus(kStatusUnknownRequest);
  }
}

std::vector<uint8_t> RequestDispatcher::answer(const std::shared_ptr<trevalon::Device>& device,
                                               const std::vector<uint8_t>& request) {
  TREVALON_TRACE();
  if (std::optional<std::vector<uint8_t>> early = answerWithoutReader(request)) return *early;
  const std::vector<uint8_t> payload(request.begin() + 1, request.end());
  std::vector<uint8_t> output;
  switch (request[0]) {
    case kGetDeviceDescriptor:
      return descriptorAnswer(device);
    case kGetDeviceState:
      return withStatus(DevicePipe::InvokeGetDeviceState(device, output), output);
    case kSetSetting:
      return withStatus(DevicePipe::InvokeSetSetting(device, payload));
    case kSetWorkingTimeRanges:
      return withStatus(DevicePipe::InvokeSetWorkingTimeRanges(device, payload));
    case kTransmitRpc:
      return withStatus(DevicePipe::InvokeTransmitRpc(device, payload, output), output);
    case kIndicate:
      return withStatus(DevicePipe::InvokeIndicate(device, payload));
    default:
      return withStatus(kStatusUnknownRequest);
  }
}

}  // namespace kelvo::driver
