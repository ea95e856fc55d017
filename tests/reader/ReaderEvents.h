// SPDX-License-Identifier: Apache-2.0
#pragma once
// Records what a generic reader reports, for tests to wait on and read back.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "trevalon/ReaderObserver.h"

namespace kelvo::test {

class ReaderEvents : public trevalon::ReaderObserver {
 public:
  using Hook = std::function<void(const std::string& event)>;

  void onBatteryLevelChanged(uint8_t v) override { record("battery", v); }
  void onUsbCableStatusChanged(uint8_t v) override { record("usb", v); }
  void onEncryptionChanged(uint8_t v) override { record("encryption", v); }
  void onAdvertisingModeChanged(uint8_t v) override { record("advertising", v); }
  void onBuzzerModeChanged(uint8_t v) override { record("buzzer", v); }
  void onSignalStrengthChanged(uint8_t v) override { record("signal", v); }
  void onBackLightChanged(uint8_t v) override { record("backlight", v); }
  void onDisplayModeChanged(uint8_t v) override { record("display", v); }
  void onRssiMinValueChanged(uint8_t v) override { record("rssi", v); }
  void onConnectedChanged(bool v) override { record("connected", v); }
  void onAvailableChanged(bool v) override {
    if (onAvailable) onAvailable(v);
    record("available", v);
  }
  void onPairedChanged(bool v) override { record("paired", v); }
  std::vector<uint8_t> onKeyRequested() override { throw std::runtime_error("no key here"); }
  void onEvent(uint32_t v) override { record("event", v); }
  void onStateChanged(trevalon::CardState v) override { record("state", v); }
  void onProtocolChanged(uint32_t v) override { record("protocol", v); }

  // Waits until an event of that name with that value has been seen.
  bool waitFor(const std::string& name, int64_t value, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, limit, [&] { return countLocked(name, value) > 0; });
  }
  size_t count(const std::string& name, int64_t value) {
    std::lock_guard<std::mutex> guard(lock);
    return countLocked(name, value);
  }
  size_t count(const std::string& name) {
    std::lock_guard<std::mutex> guard(lock);
    size_t hits = 0;
    for (const auto& entry : seen) hits += entry.first == name;
    return hits;
  }
  std::vector<int64_t> values(const std::string& name) {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<int64_t> found;
    for (const auto& entry : seen) {
      if (entry.first == name) found.push_back(entry.second);
    }
    return found;
  }
  void forget() {
    std::lock_guard<std::mutex> guard(lock);
    seen.clear();
  }

  // Runs on the thread that delivers availability, before the event is recorded.
  std::function<void(bool)> onAvailable;

 private:
  size_t countLocked(const std::string& name, int64_t value) const {
    size_t hits = 0;
    for (const auto& entry : seen) hits += entry.first == name && entry.second == value;
    return hits;
  }
  void record(const std::string& name, int64_t value) {
    {
      std::lock_guard<std::mutex> guard(lock);
      seen.emplace_back(name, value);
    }
    changed.notify_all();
  }

  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::pair<std::string, int64_t>> seen;
};

}  // namespace kelvo::test
