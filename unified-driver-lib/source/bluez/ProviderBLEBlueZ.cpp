// SPDX-License-Identifier: Apache-2.0
#include "trevalon/bluez/ProviderBLEBlueZ.h"

#include "trevalon/bluez/BLEConnectionBlueZ.h"
#include "trevalon/bluez/BLEReaderBlueZ.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::bluez {

// The watcher's inner pointer: locking it on the polling thread must never make that thread its last owner.
ProviderBLEBlueZ::ProviderBLEBlueZ(const std::shared_ptr<BLEConnectionBlueZ>& watcher)
    : watcher(watcher ? watcher->sharedAs<BLEConnectionBlueZ>() : nullptr) {}

std::shared_ptr<ble::BLEReaderNative> ProviderBLEBlueZ::translate(const ble::ProvidedDevice& item) {
  TREVALON_TRACE_ARGS(item.path);
  // The address doubles as the identifier, under which the link key is kept.
  return BLEReaderBlueZ::create(watcher.lock(), item.address, item.address, item.name, item.path);
}

void ProviderBLEBlueZ::onLost(const ble::ProvidedDevice& item) {
  TREVALON_TRACE_ARGS(item.path);
  for (const std::shared_ptr<ble::BLEReaderNative>& native : getProvided()) {
    auto reader = std::dynamic_pointer_cast<BLEReaderBlueZ>(native);
    if (reader && reader->getAddress() == item.address) reader->retire();
  }
  Translator::onLost(item);
}

}  // namespace trevalon::bluez
