// SPDX-License-Identifier: Apache-2.0
#pragma once
// The Bridge dongle under watch, on a thread of its own (the manager's Bridge thread). Every 500 ms it opens the
// Bridge when it is plugged in (reading its name, serial and version), asks its status, announces the reader the
// Bridge is connected to by its descriptor bytes and withdraws it when the connection ends or changes; it carries
// out the user's Bridge commands and relays the announced reader's RPCs and indications. Every use of the Bridge's
// handle holds one recursive lock, also the relay calls that the reader's device model makes from other threads.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>

#include <atomic>

#include "bridge/DeviceInfo.h"

struct kelvoctl_handle;

class KelvoDongle : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPollMs = 500;

  explicit KelvoDongle(QObject* parent = nullptr);
  ~KelvoDongle() override;

  // From any thread: each emits its ...Requested signal, so the work runs in the dongle's thread.
  void requestScan();
  void requestConnection(const DeviceInfo& device);
  void requestPairing(uint passkey);
  void requestPairingAbort();
  void requestNameChange(const QString& name);
  void requestPairedDevices();
  // Carried out at the next poll; the Bridge leaves the bus and is opened again once it is back.
  void requestReset();

  bool isOpen() const;
  QString name() const;
  QString serial() const;
  QString version() const;
  // The announced reader's relay, from its device model's thread.
  bool sendIndication(quint8 indication, quint8 param1, quint8 param2);
  bool transmit(const QByteArray& request, QByteArray& response);

 signals:
  void errorOccurred(const QString& message);
  void debugMessageLogged(const QString& message);
  void verboseMessageLogged(const QString& message);
  void scanFinished(const QList<DeviceInfo>& devices);
  void connectionSucceeded();
  void connectionFailed();
  void connectionPairingRequired();
  void pairingSucceeded();
  void pairingFailed();
  void pairingAborted();
  void changeNameSucceeded(const QString& name);
  void changeNameFailed();
  void queryPairedDevicesFinished(const QList<DeviceInfo>& devices);
  void activated();
  void deactivated();
  void scanDevicesRequested();
  void connectDeviceRequested(const DeviceInfo& device);
  void sendPasskeyRequested(uint passkey);
  void abortPairingRequested();
  void changeNameRequested(const QString& name);
  void queryPairedDevicesRequested();
  void deviceCreated(const QByteArray& descriptor);
  void deviceRemoved(const QByteArray& descriptor);

 public slots:
  void scanDevices();
  void connectDevice(const DeviceInfo& device);
  void sendPasskey(uint passkey);
  void abortPairing();
  void changeName(const QString& name);
  void queryPairedDevices();

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void poll();
  bool open();
  void withdrawDevice();
  void close();
  void announceDevice(quint16 connection);

  mutable QRecursiveMutex lock;
  kelvoctl_handle* handle = nullptr;
  quint16 connectionId = 0;
  QString dongleName;
  QString dongleSerial;
  QString dongleVersion;
  bool deviceAnnounced = false;
  std::atomic<bool> resetPending{false};
  QByteArray descriptor;
  int pollTimerId = 0;
};
