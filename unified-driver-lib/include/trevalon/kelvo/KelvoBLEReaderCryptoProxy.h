#pragma once
// Link encryption between the RPC transport and the reader functions. When the reader becomes available it
// agrees a key (long-term, then session) and from then on encrypts every request and decrypts every answer.
// A reader whose link cannot be encrypted is never reported available upwards.

#include <mutex>

#include "trevalon/Encryptor.h"
#include "trevalon/common/Translator.h"
#include "trevalon/kelvo/KelvoBLEReader.h"

namespace trevalon::kelvo {

class KelvoBLEReaderCryptoProxy : public common::Translator<KelvoBLEReader, KelvoBLEReader> {
 public:
  static constexpr uint8_t kNotNegotiated = 0xFF;
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
  void logExtendedStatus(uint8_t method, const std::vector<uint8_t>& response);
  bool renewKeys(const std::shared_ptr<KelvoBLEReader>& lower);

  std::mutex stateLock;
  uint8_t activeEncryption = kNotNegotiated;
  std::mutex encryptorLock;
  std::shared_ptr<Encryptor> encryptor;
};

}  // namespace trevalon::kelvo
