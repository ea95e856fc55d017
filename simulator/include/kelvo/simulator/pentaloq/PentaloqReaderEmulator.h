// SPDX-License-Identifier: Apache-2.0
#pragma once
// An emulated Pentaloq reader on the simulated radio: the Pentaloq service with its input and output
// characteristics, chunk reassembly, frames with their CRC, the link key and the reader functions, all from
// the reader's side. Tests switch its quirks and faults, move its card and battery, and read back its state
// and the GATT operations it saw.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kelvo/simulator/pentaloq/PentaloqChunkAssembler.h"
#include "kelvo/simulator/pentaloq/PentaloqFunctionTable.h"
#include "kelvo/simulator/pentaloq/PentaloqReaderConfig.h"
#include "kelvo/simulator/peripheral/GattCounters.h"
#include "trevalon/sim/EmulatedPeripheral.h"

namespace kelvo::simulator {

class PentaloqReaderEmulator : public trevalon::sim::EmulatedPeripheral {
 public:
  // Ids under which GattCounters counts the two characteristics.
  enum Characteristic : uint16_t {
    kInput = 1,
    kOutput = 2,
  };

  explicit PentaloqReaderEmulator(const PentaloqReaderConfig& config);
  static std::shared_ptr<PentaloqReaderEmulator> create(const PentaloqReaderConfig& config);

  static trevalon::ble::Uuid serviceUuid();
  static trevalon::ble::Uuid inputUuid();
  static trevalon::ble::Uuid outputUuid();

  std::string address() const override;
  std::string name() const override;
  std::vector<trevalon::sim::GattService> services() const override;
  bool isLinkUp() const override;
  std::optional<std::vector<uint8_t>> read(const trevalon::ble::Uuid& service,
                                           const trevalon::ble::Uuid& characteristic) override;
  bool write(const trevalon::ble::Uuid& service, const trevalon::ble::Uuid& characteristic,
             const std::vector<uint8_t>& data) override;
  bool subscribe(const trevalon::ble::Uuid& service, const trevalon::ble::Uuid& characteristic, bool enable) override;
  void attach(std::weak_ptr<trevalon::sim::PeripheralListener> listener) override;

  // The reader comes into range or leaves it.
  void setLinkUp(bool up);
  // A plain card with that ATR goes in.
  void insertCard(std::vector<uint8_t> atr);
  // The card the reader was set up with goes back in, as it was when it was taken out; false when there is none.
  bool insertOwnCard();
  // Of the reader's own card, in the slot or not; empty when it has no PIV application.
  std::optional<PivApplication::Status> pivStatus() const;
  void removeCard();
  void setBatteryLevel(uint8_t level);
  // Any value on the output characteristic, well-formed or not.
  void sendPacket(std::vector<uint8_t> value);

  void setQuirk(PentaloqQuirk quirk, bool enabled);
  void addFault(const PentaloqFault& fault);
  void clearFaults();
  void forgetKey();

  PentaloqReaderState state() const;
  std::optional<ReaderCipher::Key> key() const;
  GattCounters counters() const;
  void resetCounters();

 private:
  // What one write sets off, delivered after the write's lock is released.
  struct Effects {
    std::vector<std::vector<uint8_t>> packets;
    int delayMs = 0;
    bool dropLink = false;
  };

  Effects process(const std::vector<uint8_t>& request);
  std::vector<uint8_t> answerFrame(uint8_t function, PentaloqFunctionTable::Answer answer, Effects& effects);
  void applyPacketFaults(uint8_t function, Effects& effects);
  std::optional<PentaloqFault> takeFault(PentaloqFault::Kind kind, uint8_t function);
  void deliver(Effects effects);
  void sendLocked(std::vector<uint8_t> value);
  void linkDownLocked();
  void linkUpLocked();

  const std::string peerAddress;
  const std::string peerName;

  mutable std::mutex lock;
  bool linkUp;
  bool subscribed = false;
  std::weak_ptr<trevalon::sim::PeripheralListener> listener;
  PentaloqChunkAssembler assembler;
  PentaloqFunctionTable table;
  std::vector<PentaloqFault> faults;
  GattCounters gattCounters;
};

}  // namespace kelvo::simulator
