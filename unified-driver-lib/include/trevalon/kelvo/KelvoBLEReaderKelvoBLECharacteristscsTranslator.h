// SPDX-License-Identifier: Apache-2.0
#pragma once
// The packet transfer: a request of up to 65 535 bytes goes out in one of two framings, the response comes
// back in numbered packages on 'output2'. At most one exchange or command is on the air per reader.

#include <atomic>
#include <mutex>

#include "trevalon/common/Translator.h"
#include "trevalon/kelvo/KelvoBLECharacteristscs.h"
#include "trevalon/kelvo/KelvoBLEReader.h"

namespace trevalon::kelvo {

class KelvoBLEReaderKelvoBLECharacteristscsTranslator
    : public common::Translator<KelvoBLEReader, KelvoBLECharacteristscs> {
 public:
  static constexpr uint64_t kInitialMtu = 23;
  static constexpr size_t kMaxRequest = 65535;
  static constexpr size_t kInputPiece = 20;
  // Packages still on their way follow each other within a few connection intervals; once none has come for
  // this long, the link is quiet. The limit bounds a reader that never stops sending.
  static constexpr std::chrono::milliseconds kQuietLink{300};
  static constexpr std::chrono::milliseconds kDropLimit{3000};

  std::string getAddress() override;
  std::string getId() override;
  bool isConnected() override;
  bool isAvailable() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  bool indicate(uint8_t command, std::vector<uint8_t> data) override;
  std::vector<uint8_t> transmitRaw(std::vector<uint8_t> request, bool recover) override;
  void dropAnswersInFlight() override;
  uint64_t updateMtu(uint64_t size) override;
  using KelvoBLEReader::updateMtu;

  uint64_t getMtu() const { return mtu.load(); }

  void onConnectedChanged(bool connected) override;
  void onAvailableChanged(bool available) override;
  void onPairedChanged(bool paired) override;
  void notified(std::vector<uint8_t> data) override;
  void onEvent(uint32_t value) override;

 private:
  std::vector<uint8_t> transmitFast(const std::shared_ptr<KelvoBLECharacteristscs>& characteristics,
                                    const std::vector<uint8_t>& request, std::chrono::seconds firstWait);
  std::vector<uint8_t> transmitFastest(const std::shared_ptr<KelvoBLECharacteristscs>& characteristics,
                                       const std::vector<uint8_t>& request, std::chrono::seconds firstWait);
  // Waits `limit` for the first package of an answer and AnswerWait::kNextPackage for each further one.
  std::vector<uint8_t> nextPackage(const std::shared_ptr<KelvoBLECharacteristscs>& characteristics,
                                   std::chrono::seconds limit);

  std::atomic<uint64_t> mtu{kInitialMtu};
  std::mutex transferLock;
};

}  // namespace trevalon::kelvo
