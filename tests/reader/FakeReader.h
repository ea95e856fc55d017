// SPDX-License-Identifier: Apache-2.0
#pragma once
// A lower reader whose answers a test sets and whose calls it counts, for the generic layers above it: what
// is asked below, and what an event from below does, without a radio in between.

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "trevalon/Reader.h"

namespace kelvo::test {

class FakeReader : public trevalon::Reader {
 public:
  using Bytes = std::vector<uint8_t>;

  std::string getVendor() override { return call("getVendor", vendor); }
  std::string getModel() override { return call("getModel", std::string("Fake")); }
  std::string getSerial() override { return call("getSerial", serial); }
  std::string getFirmware() override { return call("getFirmware", std::string("1.0")); }
  std::string getHardware() override { return call("getHardware", std::string("A")); }
  std::string getBuild() override { return call("getBuild", std::string("B")); }
  uint8_t getBatteryLevel() override { return call("getBatteryLevel", battery); }
  uint8_t getUsbCableStatus() override { return call("getUsbCableStatus", uint8_t{0}); }
  uint8_t getEncryption() override { return call("getEncryption", uint8_t{0xFF}); }
  uint8_t getAdvertisingMode() override { return call("getAdvertisingMode", uint8_t{1}); }
  bool setAdvertisingMode(uint8_t) override { return call("setAdvertisingMode", accepts); }
  uint8_t getBuzzerMode() override { return call("getBuzzerMode", buzzer); }
  bool setBuzzerMode(uint8_t) override { return call("setBuzzerMode", accepts); }
  uint8_t getSignalStrength() override { return call("getSignalStrength", uint8_t{2}); }
  bool setSignalStrength(uint8_t) override { return call("setSignalStrength", accepts); }
  uint8_t getBackLight() override { return call("getBackLight", uint8_t{1}); }
  bool setBackLight(uint8_t) override { return call("setBackLight", accepts); }
  uint8_t getDisplayMode() override { return call("getDisplayMode", uint8_t{0}); }
  bool setDisplayMode(uint8_t) override { return call("setDisplayMode", accepts); }
  uint8_t getRssiMinValue() override { return call("getRssiMinValue", uint8_t{0xBA}); }
  bool setRssiMinValue(uint8_t) override { return call("setRssiMinValue", accepts); }
  trevalon::kelvo::WorkingTimeRanges getWorkingTimeRanges() override { return call("getWorkingTimeRanges", ranges); }
  bool setWorkingTimeRanges(const trevalon::kelvo::WorkingTimeRanges&) override {
    return call("setWorkingTimeRanges", accepts);
  }
  std::string getAddress() override { return call("getAddress", std::string("0000000000fa")); }
  bool isConnected() override { return call("isConnected", connected.load()); }
  bool isAvailable() override { return call("isAvailable", true); }
  std::list<std::string> getBonded() override { return call("getBonded", std::list<std::string>{"ws"}); }
  std::string getPrefered() override { return call("getPrefered", std::string("ws")); }
  bool setPrefered(const std::string&) override { return call("setPrefered", accepts); }
  bool isPaired() override { return call("isPaired", true); }
  bool setPaired(bool) override { return call("setPaired", accepts); }
  bool eraseBond(const std::string&) override { return call("eraseBond", accepts); }
  bool forceBootMode() override { return call("forceBootMode", accepts); }
  bool reservedQuery() override { return call("reservedQuery", false); }
  bool stateQuery() override { return call("stateQuery", false); }
  std::string getId() override { return call("getId", std::string("0000000000fa")); }
  Family getFamily() override { return Family::kKelvo; }
  trevalon::CardState getState() override { return call("getState", state); }

  Bytes getAtr() override {
    Bytes next;
    {
      std::lock_guard<std::mutex> guard(lock);
      next = atrs.empty() ? Bytes() : atrs.front();
      if (atrs.size() > 1) atrs.erase(atrs.begin());
    }
    return call("getAtr", next);
  }
  uint32_t getProtocol() override { return call("getProtocol", uint32_t{0xFFFFFFFF}); }
  Bytes sendAPDU(Bytes apdu) override {
    record("apdu-begin");
    if (apduDelay.count() > 0) std::this_thread::sleep_for(apduDelay);
    record("apdu-end");
    apdu.push_back(0x90);
    return call("sendAPDU", apdu);
  }
  bool setProtocol(uint32_t protocol) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      protocols.push_back(protocol);
    }
    return call("setProtocol", acceptsProtocol);
  }
  bool shutdown() override { return call("shutdown", accepts); }

  // Events as the layers below would raise them.
  template <typename... Args>
  void raiseDevice(Args&&... args) {
    notifyDevice(std::forward<Args>(args)...);
  }
  void raiseState(trevalon::CardState value) { notifySlot(&trevalon::SlotObserver::onStateChanged, value); }

  size_t calls(const std::string& name) {
    std::lock_guard<std::mutex> guard(lock);
    return counts[name];
  }
  std::vector<std::string> journal() {
    std::lock_guard<std::mutex> guard(lock);
    return order;
  }
  std::vector<uint32_t> protocolsAsked() {
    std::lock_guard<std::mutex> guard(lock);
    return protocols;
  }
  void setAtrs(std::vector<Bytes> answers) {
    std::lock_guard<std::mutex> guard(lock);
    atrs = std::move(answers);
  }

  // Answers a test may change before using the layer above.
  std::string vendor = "Fake Inc";
  std::string serial = "F123";
  uint8_t battery = 55;
  uint8_t buzzer = 1;
  trevalon::kelvo::WorkingTimeRanges ranges;
  trevalon::CardState state = trevalon::kCardUnknown;
  bool accepts = true;
  bool acceptsProtocol = true;
  std::atomic<bool> connected{true};
  std::chrono::milliseconds apduDelay{0};

 private:
  template <typename T>
  T call(const std::string& name, T answer) {
    record(name);
    return answer;
  }
  void record(const std::string& name) {
    std::lock_guard<std::mutex> guard(lock);
    ++counts[name];
    order.push_back(name);
  }

  std::mutex lock;
  std::map<std::string, size_t> counts;
  std::vector<std::string> order;
  std::vector<Bytes> atrs;
  std::vector<uint32_t> protocols;
};

}  // namespace kelvo::test
