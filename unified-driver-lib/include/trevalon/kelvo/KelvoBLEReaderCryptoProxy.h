// SPDX-License-Identifier: Apache-2.0
#pragma once
// Link encryption between the RPC transport and the reader functions. When the reader becomes available it
// agrees a key (long-term, then session) and from then on encrypts every request and decrypts every answer.
// A reader whose link cannot be encrypted is never reported available upwards.
//
// The session's message counter is only in step with the reader while every answer arrives intact. After a
// lost, late or damaged answer, and after the link went down, nobody knows which counter values the reader has
// used, so the session is thrown away and a fresh one agreed (with the stored long-term key) before the next
// request: no counter value is ever used twice under one session key. A key-state error first gets a fresh
// session with the stored key; only when that fails too is the long-term key replaced.

#include <atomic>
#include <mutex>

#include "trevalon/Encryptor.h"
#include "trevalon/common/Translator.h"
#include "trevalon/kelvo/KelvoBLEReader.h"

namespace trevalon::kelvo {

class KelvoBLEReaderCryptoProxy : public common::Translator<KelvoBLEReader, KelvoBLEReader> {
 public:
  static constexpr uint8_t kNotNegotiated = 0xFF;
  // Renewals for one request: a fresh session with the stored key, then a new long-term key.
  static constexpr int kMaxRekeyings = 2;

  uint8_t getActiveEncryption() override;
  bool setActiveEncryption(uint8_t value) override;
  std::string getAddress() override;
  std::string getId() override;
  bool isConnected() override;
  bool isAvailable() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  bool indicate(uint8_t command, std::vector<uint8_t> data) override;
  bool stateQuery() override;
  std::vector<uint8_t> transmitRaw(std::vector<uint8_t> request, bool recover) override;
  uint64_t updateMtu(uint64_t size) override;
  using KelvoBLEReader::updateMtu;

  void onActiveEncryptionChanged(uint8_t state) override;
  void onConnectedChanged(bool connected) override;
  void onAvailableChanged(bool available) override;
  void onPairedChanged(bool paired) override;
  void notified(uint8_t id, std::vector<uint8_t> data) override;
  void onEvent(uint32_t value) override;

 private:
  std::vector<uint8_t> exchange(const std::shared_ptr<KelvoBLEReader>& lower, const std::vector<uint8_t>& request,
                                bool recover);
  std::vector<uint8_t> openAnswer(const std::shared_ptr<Encryptor>& current, const std::vector<uint8_t>& response);
  void logExtendedStatus(uint8_t method, const std::vector<uint8_t>& response);
  bool recoverKeyState(int renewal);
  std::vector<uint8_t> transmitLocked(const std::shared_ptr<KelvoBLEReader>& lower, const std::vector<uint8_t>& request,
                                      bool recover, bool& switchedOn);
  // Agrees the first session, or a fresh one when the current one is stale; `switchedOn` when the link
  // became encrypted here.
  bool renewSessionIfDue(bool& switchedOn);
  std::shared_ptr<Encryptor> agree(bool keepLongTermKey);

  // Held for every exchange and every agreement, so that the counter stays in step and no request of another
  // thread slips out in plain while a key is agreed. Recursive: an agreement transmits through transmitRaw.
  std::recursive_mutex linkLock;
  // Written under linkLock; read without it, so that asking for the state never waits for a slow exchange.
  std::atomic<uint8_t> activeEncryption{kNotNegotiated};
  std::shared_ptr<Encryptor> encryptor;
  bool agreeing = false;
  // Set from the radio's threads (a link that went down) without waiting for an exchange in progress.
  std::atomic<bool> sessionStale{false};
  // The last exchange or agreement ended without its own answer; a fresh link clears it.
  std::atomic<bool> outOfStep{false};
};

}  // namespace trevalon::kelvo
