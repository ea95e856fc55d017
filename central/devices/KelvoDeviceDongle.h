// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader behind the Bridge dongle: every request goes through the Bridge's relay (KelvoDongle). The Bridge keeps
// the device as long as it is connected to the reader, so a failed request is logged and the device stays. Before
// it is initialised the device reads the reader's settings and working times; afterwards only its state.

#include <QPointer>

#include "devices/KelvoDevice.h"

class KelvoDongle;

class KelvoDeviceDongle : public KelvoDevice {
  Q_OBJECT

 public:
  KelvoDeviceDongle(KelvoDongle* dongle, const Descriptor& descriptor, QObject* parent = nullptr);

  // The Bridge's own serial number, as read from the Bridge.
  QString address() const override;
  bool hasTransport() const override;

 public slots:
  void sendSetting(BYTE setting, BYTE value) override;
  void sendWorkingTimeRanges(TimeRanges ranges) override;
  bool indicate(quint8 indication, quint8 param1, quint8 param2) override;
  bool transmit(const QByteArray& request, QByteArray& response) override;
  bool readDescriptor(QByteArray& data) override;

 protected:
  void requestState() override;

 private:
  bool readSettings(DeviceSettings& settings);
  bool readRanges(TimeRanges& ranges);

  QPointer<KelvoDongle> dongle;
  bool stateRead = false;  // the first state has been read: settings and ranges come from the stored values
};
