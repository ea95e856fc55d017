// SPDX-License-Identifier: Apache-2.0
#pragma once
// A stand-in for the RPC transport whose answers a test sets per method: for answers no sane reader gives
// and for exact request bytes. Everything else is tested against the emulated reader.

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "trevalon/kelvo/KelvoBLEReader.h"

namespace kelvo::test {

class ScriptedTransport : public trevalon::kelvo::KelvoBLEReader {
 public:
  using Bytes = std::vector<uint8_t>;
  using KelvoBLEReader::updateMtu;

  std::string getAddress() override { return "001a7dda7113"; }
  std::string getId() override { return "001a7dda7113"; }
  bool isConnected() override { return true; }
  bool isAvailable() override { return true; }
  bool isPaired() override { return true; }
  bool setPaired(bool) override { return false; }
  bool indicate(uint8_t command, std::vector<uint8_t> data) override {
    std::lock_guard<std::mutex> guard(lock);
    Bytes frame{command};
    frame.insert(frame.end(), data.begin(), data.end());
    commands.push_back(frame);
    return indicateResult;
  }
  // The next queued answer for the request's method, else its responder's, else its standing answer, else {0x02}.
  std::vector<uint8_t> transmitRaw(std::vector<uint8_t> request, bool) override {
    std::lock_guard<std::mutex> guard(lock);
    requests.push_back(request);
    const uint8_t method = request.empty() ? 0xFF : request[0];
    std::deque<Bytes>& queued = onceAnswers[method];
    if (!queued.empty()) {
      Bytes answer = queued.front();
      queued.pop_front();
      return answer;
    }
    auto responder = responders.find(method);
    if (responder != responders.end()) return responder->second(request);
    auto standing = answers.find(method);
    return standing == answers.end() ? Bytes{0x02} : standing->second;
  }
  uint64_t updateMtu(uint64_t size) override {
    std::lock_guard<std::mutex> guard(lock);
    mtu = std::max(mtu, size);
    return mtu;
  }

  void answer(uint8_t method, Bytes response) {
    std::lock_guard<std::mutex> guard(lock);
    answers[method] = std::move(response);
  }
  void answerOnce(uint8_t method, Bytes response) {
    std::lock_guard<std::mutex> guard(lock);
    onceAnswers[method].push_back(std::move(response));
  }
  size_t requestsOf(uint8_t method) {
    std::lock_guard<std::mutex> guard(lock);
    size_t count = 0;
    for (const Bytes& request : requests) count += !request.empty() && request[0] == method;
    return count;
  }

  std::mutex lock;
  std::map<uint8_t, Bytes> answers;
  std::map<uint8_t, std::deque<Bytes>> onceAnswers;
  // Answers computed from the request, for answers that must be encrypted under a key the test knows.
  std::map<uint8_t, std::function<Bytes(const Bytes& request)>> responders;
  std::vector<Bytes> requests;
  std::vector<Bytes> commands;
  bool indicateResult = true;
  uint64_t mtu = 23;
};

}  // namespace kelvo::test
