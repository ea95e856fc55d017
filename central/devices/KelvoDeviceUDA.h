// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader that this process serves itself through the reader library: every request is an in-process device
// request on the library device at the top of the reader's stack. Any failure means the reader is gone.

#include <memory>

#include "devices/KelvoDevice.h"

namespace trevalon {
class Device;
}

class KelvoDeviceUDA : public KelvoDevice {
  Q_OBJECT

 public:
  KelvoDeviceUDA(std::shared_ptr<trevalon::Device> libraryDevice, const Descriptor& descriptor,
                 QObject* parent = nullptr);
  ~KelvoDeviceUDA() override;

  bool hasTransport() const override;
  const std::shared_ptr<trevalon::Device>& libraryDevice() const { return device; }
  // The library device's address as the library writes it.
  const QString& libraryAddress() const { return deviceAddress; }

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

  const std::shared_ptr<trevalon::Device> device;
  const QString deviceAddress;
};
