// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader that the reader driver serves: every request goes through the driver's socket for that reader. A
// failed request means the driver has lost the reader, so the device removes itself.

#include "devices/KelvoDevice.h"

class DevicePipeClient;

class KelvoDeviceBle : public KelvoDevice {
  Q_OBJECT

 public:
  // Takes the client as a Qt child.
  KelvoDeviceBle(DevicePipeClient* client, const Descriptor& descriptor, QObject* parent = nullptr);

  bool hasTransport() const override;
  QString driverVersion() override;

  DevicePipeClient* pipeClient() const { return client; }

 public slots:
  void sendSetting(BYTE setting, BYTE value) override;
  void sendWorkingTimeRanges(TimeRanges ranges) override;
  bool indicate(quint8 indication, quint8 param1, quint8 param2) override;
  bool transmit(const QByteArray& request, QByteArray& response) override;
  bool readDescriptor(QByteArray& data) override;

 protected:
  void requestState() override;

 private:
  void removeOnFailure(const char* request);

  DevicePipeClient* const client;
};
