// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/AnswerWait.h"

namespace trevalon::kelvo {
namespace {

thread_local std::optional<std::chrono::seconds> threadWait;

// Answered from the reader's own memory and settings.
bool isPrompt(uint8_t method) {
  switch (method) {
    case 0:    // GetMethods
    case 1:    // GetDeviceDescriptor
    case 4:    // SetMobDeviceName
    case 5:    // GetBatteryLevel
    case 8:    // GetSettings
    case 9:    // SetSettings
    case 10:   // SetLocalTime
    case 11:   // GetWorkingTimeRanges
    case 12:   // SetWorkingTimeRanges
    case 13:   // GetDeviceState
    case 14:   // GetBondedDevices
    case 15:   // RemoveBondedDeviceByIndex
    case 16:   // MaxRequestSize
    case 17:   // GetBatteryState
    case 240:  // GetRandomBytes
      return true;
    default:
      return method >= 64 && method <= 72;  // connection, advertising and gauge parameters, statistics
  }
}

}  // namespace

AnswerWait::AnswerWait(std::chrono::seconds firstPackage) : outer(threadWait) { threadWait = firstPackage; }

AnswerWait::~AnswerWait() { threadWait = outer; }

std::optional<std::chrono::seconds> AnswerWait::current() { return threadWait; }

std::chrono::seconds AnswerWait::forMethod(uint8_t method) { return isPrompt(method) ? kPrompt : kSlow; }

}  // namespace trevalon::kelvo
