// SPDX-License-Identifier: Apache-2.0
#pragma once
// The remote-procedure interface of a reader: a request is a method id and a payload, a response a status
// byte and a payload. transmit and updateMtu() are written once here and always go through the object's own
// transmitRaw, so that on the encryption proxy they are encrypted.

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "trevalon/common/Observee.h"
#include "trevalon/kelvo/KelvoBLEReaderObserver.h"
#include "trevalon/kelvo/TransmitResult.h"

namespace trevalon::kelvo {

class KelvoBLEReader : public common::Observee<KelvoBLEReaderObserver> {
 public:
  using Observer = KelvoBLEReaderObserver;

  static constexpr uint8_t kExchangeKey = 3;
  static constexpr uint8_t kMaxRequestSize = 16;
  static constexpr uint8_t kExchangeSessionKey = 160;
  static constexpr uint8_t kStatusSuccess = 0;
  static constexpr uint8_t kStatusUnsupported = 2;
  static constexpr uint8_t kStatusTransferFailed = 0x81;
  static constexpr uint8_t kStatusUnknown = 0xFF;

  ~KelvoBLEReader() override = default;

  virtual uint8_t getActiveEncryption();
  virtual bool setActiveEncryption(uint8_t state);
  virtual std::string getAddress() = 0;
  virtual std::string getId() = 0;
  virtual bool isConnected() = 0;
  virtual bool isAvailable() = 0;
  virtual bool isPaired() = 0;
  virtual bool setPaired(bool paired) = 0;
  virtual bool indicate(uint8_t command, std::vector<uint8_t> data) = 0;
  virtual bool stateQuery();
  virtual std::vector<uint8_t> transmitRaw(std::vector<uint8_t> request, bool recover) = 0;
  // Answers carry nothing that names their request: after an exchange that ended without its own answer,
  // whatever is still on its way is dropped so that the next request does not take it for its own.
  virtual void dropAnswersInFlight();
  virtual uint64_t updateMtu(uint64_t size) = 0;

  TransmitResult transmit(uint8_t method, const std::vector<uint8_t>& payload, bool recover);
  bool updateMtu();

  bool isUnsupported(uint8_t method) const;

 private:
  mutable std::mutex unsupportedLock;
  std::set<uint8_t> unsupported;
};

}  // namespace trevalon::kelvo
