// SPDX-License-Identifier: Apache-2.0
#pragma once
// An emulated Kelvo reader on the simulated radio: the reader service with its nine characteristics, the
// packet transfer, the RPC table, the link encryption and the notification and command channels, all from
// the reader's side. Tests switch its quirks and faults, move its card, battery and cable, and read back
// its state and the GATT operations it saw.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderConfig.h"
#include "kelvo/simulator/kelvo/KelvoReaderLinkCrypto.h"
#include "kelvo/simulator/kelvo/KelvoReaderPacketTransfer.h"
#include "kelvo/simulator/kelvo/KelvoReaderRandomFaults.h"
#include "kelvo/simulator/kelvo/KelvoReaderRpcTable.h"
#include "kelvo/simulator/kelvo/KelvoReaderState.h"
#include "kelvo/simulator/kelvo/KelvoReaderUsbPort.h"
#include "kelvo/simulator/peripheral/GattCounters.h"
#include "trevalon/sim/EmulatedPeripheral.h"

namespace kelvo::simulator {

class KelvoReaderEmulator : public trevalon::sim::EmulatedPeripheral {
 public:
  // Characteristic ids of the reader service.
  enum Characteristic : uint16_t {
    kPrepare = 0x0001,
    kInput = 0x0002,
    kProcess2 = 0x0003,
    kOutput2 = 0x0004,
    kSpareWrite = 0x0005,
    kSpareRead = 0x0006,
    kTransmit = 0x0007,
    kNotification = 0x0008,
    kIndicate = 0x0009,
  };

  explicit KelvoReaderEmulator(const KelvoReaderConfig& config);
  static std::shared_ptr<KelvoReaderEmulator> create(const KelvoReaderConfig& config);

  static trevalon::ble::Uuid serviceUuid(uint16_t variant);
  static trevalon::ble::Uuid characteristicUuid(uint16_t id);

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

  // The reader comes into range or leaves it. A reader in its bootloader keeps its link down.
  void setLinkUp(bool up);
  void leaveBootMode();

  // From now on the reader shows itself on USB through the port, starting with where it is now: as the reader
  // while its cable is in, as its bootloader once GotoBotloader mode 0 has sent it there. The port's owner keeps
  // it alive; the reader only holds it weakly.
  void attachUsbPort(const std::shared_ptr<KelvoReaderUsbPort>& port);
  // Its USB bootloader has checked what the host wrote. With an error the old firmware stays; otherwise the image
  // is installed, and a second-generation image brings its `version` into the descriptor (a first-generation image
  // carries none). lastFlashInstall says which. The reader restarts and comes back on the air.
  void finishUsbBootloader(const std::optional<std::string>& version, const std::optional<std::string>& error);
  std::string serial() const;

  // A plain card with that ATR goes in.
  void insertCard(std::vector<uint8_t> atr);
  // The card the reader was set up with goes back in, as it was when it was taken out; false when there is none.
  bool insertOwnCard();
  void removeCard();
  void setBatteryLevel(uint8_t level);
  void setUsbCable(uint8_t connected);
  // A setting changed on the reader itself, as by its buttons.
  void changeSetting(uint8_t id, uint8_t value);
  // Any value on the notification characteristic, well-formed or not.
  void sendNotification(std::vector<uint8_t> value);

  void setQuirk(KelvoReaderQuirk quirk, bool enabled);
  void addFault(const KelvoReaderFault& fault);
  void clearFaults();
  // Faults drawn at random for every answer from now on, until stopped; a new start begins a new sequence.
  void startRandomFaults(const KelvoReaderRandomFaults::Rates& rates);
  // Stops them and gives what they inflicted; empty when none were running.
  std::optional<KelvoReaderRandomFaults::Tally> stopRandomFaults();
  std::optional<KelvoReaderRandomFaults::Tally> randomFaultTally() const;
  void forgetLongTermKey();

  KelvoReaderState state() const;
  GattCounters counters() const;
  void resetCounters();
  std::vector<uint8_t> externalFlash(size_t offset, size_t length) const;
  std::optional<ReaderCipher::Key> longTermKey() const;
  bool hasSession() const;
  std::optional<uint32_t> sessionCounter() const;
  size_t packSize() const;
  // Of the reader's own card, in the slot or not; empty when it has no PIV application.
  std::optional<PivApplication::Status> pivStatus() const;

 private:
  // What one host operation sets off, delivered after the operation's lock is released.
  struct Effects {
    std::vector<std::vector<uint8_t>> packages;
    std::vector<std::vector<uint8_t>> notifications;
    int delayMs = 0;
    std::optional<size_t> dropLinkAfter;  // packages sent before the link drops
    bool linkComesBack = false;           // a link lost to a random fault: the reader stays in range
    std::optional<uint8_t> bootMode;
    bool reconnect = false;
  };
  struct Answer {
    uint8_t method = 0xFF;
    std::vector<uint8_t> response;
    bool dropLink = false;
    bool linkComesBack = false;
  };

  std::optional<uint16_t> characteristicId(const trevalon::ble::Uuid& service,
                                           const trevalon::ble::Uuid& characteristic) const;
  Answer answer(const std::vector<uint8_t>& frame, ReaderOutbox& outbox);
  bool refusesPlain(uint8_t method) const;
  void respond(const Answer& reply, KelvoReaderPacketTransfer::Framing framing, Effects& effects);
  void applyPackageFaults(uint8_t method, Effects& effects);
  void applyRandomFaults(Effects& effects);
  // The first fault of that kind for this method that `accept` takes; used up after its `times`.
  std::optional<KelvoReaderFault> takeFault(KelvoReaderFault::Kind kind, uint8_t method,
                                            const std::function<bool(const KelvoReaderFault&)>& accept);
  void collect(ReaderOutbox& outbox, Effects& effects) const;
  // Outside the operation's lock only for the delay; everything that reaches the radio is in order.
  void deliver(Effects effects);
  void sendLocked(uint16_t id, std::vector<uint8_t> value);
  void linkDownLocked();
  void linkUpLocked();
  void restartFromExternalFlashLocked();
  std::string& descriptorValueLocked(const std::string& key);
  std::string serialLocked() const;
  void showOnUsbLocked();

  const std::string peerAddress;
  const std::string peerName;
  const uint16_t serviceVariant;
  const int generation;

  mutable std::mutex lock;
  bool linkUp;
  std::weak_ptr<trevalon::sim::PeripheralListener> listener;
  KelvoReaderLinkCrypto crypto;
  KelvoReaderPacketTransfer transfer;
  KelvoReaderRpcTable table;
  std::vector<KelvoReaderFault> faults;
  std::optional<KelvoReaderRandomFaults> randomFaults;
  std::optional<Answer> held;  // the answer of a 'prepare'/'input' request, waiting for 'process2'
  std::set<uint16_t> subscribed;
  GattCounters gattCounters;
  std::weak_ptr<KelvoReaderUsbPort> usbPort;
  KelvoReaderUsbPort::Presence shownOnUsb = KelvoReaderUsbPort::Presence::none;
};

}  // namespace kelvo::simulator
