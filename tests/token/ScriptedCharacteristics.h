// SPDX-License-Identifier: Apache-2.0
#pragma once
// The Pentaloq characteristics as a script: every chunk written is recorded, every receive() takes the next
// packet queued (an empty one once the script has run out, as a time-out would give).

#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "trevalon/token/TokenBLECharacteristics.h"

namespace kelvo::test {

class ScriptedCharacteristics : public trevalon::token::TokenBLECharacteristics {
 public:
  std::string getAddress() override { return "5e0a1c000001"; }
  std::string getId() override { return "/org/bluez/hci0/dev_5E_0A_1C_00_00_01"; }
  bool isConnected() override { return true; }
  bool isAvailable() override { return true; }
  bool isPaired() override { return true; }
  bool setPaired(bool) override { return false; }

  std::vector<uint8_t> receive() override {
    std::lock_guard<std::mutex> guard(lock);
    ++receives;
    if (packets.empty()) return {};
    std::vector<uint8_t> next = packets.front();
    packets.pop_front();
    return next;
  }
  bool transmit(std::vector<uint8_t> chunk) override {
    std::lock_guard<std::mutex> guard(lock);
    if (failWriteAt && written.size() == *failWriteAt) return false;
    written.push_back(std::move(chunk));
    return true;
  }
  void discardReceived() override {
    std::lock_guard<std::mutex> guard(lock);
    ++discards;
    packets.clear();
    for (std::vector<uint8_t>& packet : pendingAnswer) packets.push_back(std::move(packet));
    pendingAnswer.clear();
  }

  void queue(std::vector<uint8_t> packet) {
    std::lock_guard<std::mutex> guard(lock);
    packets.push_back(std::move(packet));
  }
  // Queued when the next request is about to be sent (older packets are discarded then).
  void answerWith(std::vector<std::vector<uint8_t>> answer) {
    std::lock_guard<std::mutex> guard(lock);
    pendingAnswer = std::move(answer);
  }

  std::mutex lock;
  std::deque<std::vector<uint8_t>> packets;
  std::vector<std::vector<uint8_t>> written;
  std::vector<std::vector<uint8_t>> pendingAnswer;
  std::optional<size_t> failWriteAt;
  int receives = 0;
  int discards = 0;
};

}  // namespace kelvo::test
