// SPDX-License-Identifier: Apache-2.0
#pragma once
// Lets go of a reader stack and returns once every layer of it is gone. Library worker threads may still hold
// parts of a stack for the last moments of a notification; a test that ended before them would leave the
// process to exit while a worker is still tearing the stack down (link keys half freed).

#include <chrono>
#include <memory>
#include <thread>

#include "trevalon/Reader.h"
#include "trevalon/ble/BLEReader.h"
#include "trevalon/common/Master.h"
#include "trevalon/kelvo/KelvoBLECharacteristscs.h"
#include "trevalon/kelvo/KelvoBLEReader.h"
#include "trevalon/kelvo/KelvoReader.h"

namespace kelvo::test {

template <typename Lower, typename Layer>
std::shared_ptr<Lower> lowerLayerOf(const std::shared_ptr<Layer>& layer) {
  auto master = std::dynamic_pointer_cast<trevalon::common::Master<Lower>>(layer);
  return master ? master->getMaster() : nullptr;
}

// The stack's synchronous BLE reader, the layer that goes last.
inline std::weak_ptr<trevalon::ble::BLEReader> bottomOf(const std::shared_ptr<trevalon::Device>& device) {
  std::shared_ptr<trevalon::Reader> reader = std::dynamic_pointer_cast<trevalon::Reader>(device);
  for (int generic = 0; generic < 2; ++generic) reader = lowerLayerOf<trevalon::Reader>(reader);
  auto functions = lowerLayerOf<trevalon::kelvo::KelvoReader>(reader);
  auto encrypted = lowerLayerOf<trevalon::kelvo::KelvoBLEReader>(functions);
  auto packets = lowerLayerOf<trevalon::kelvo::KelvoBLEReader>(encrypted);
  auto characteristics = lowerLayerOf<trevalon::kelvo::KelvoBLECharacteristscs>(packets);
  return lowerLayerOf<trevalon::ble::BLEReader>(characteristics);
}

inline bool waitGone(const std::weak_ptr<trevalon::ble::BLEReader>& bottom) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!bottom.expired()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace kelvo::test
