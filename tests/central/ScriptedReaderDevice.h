// SPDX-License-Identifier: Apache-2.0
#pragma once
// A KelvoDevice that behaves like a reader that takes every setting and range it is sent, and answers raw RPCs
// from a script. It records which thread each reader call came from, so tests can tell that the window's thread
// never talked to the reader.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QThread>
#include <mutex>
#include <utility>

#include "devices/KelvoDevice.h"

class ScriptedReaderDevice : public KelvoDevice {
 public:
  explicit ScriptedReaderDevice(const QString& serial, Descriptor extra = {}, QObject* parent = nullptr)
      : KelvoDevice(descriptorOf(serial, std::move(extra)), parent) {}

  // The first byte of a request selects its answer; a missing answer means the transmit failed.
  void answer(char method, const QByteArray& response) {
    std::lock_guard<std::mutex> guard(scriptLock);
    answers[method] = response;
  }

  QList<QByteArray> requests() const {
    std::lock_guard<std::mutex> guard(scriptLock);
    return sentRequests;
  }
  QList<QThread*> callerThreads() const {
    std::lock_guard<std::mutex> guard(scriptLock);
    return threads;
  }

  QString driverVersion() override {
    record(QByteArray("driver-version"));
    return driverVersionText;
  }
  QString driverVersionText;

  // A reader that is in a known state; the first update initialises the device without change signals.
  void initialize(int cardStatus, int batteryLevel, const DeviceSettings& settings, const TimeRanges& ranges = {}) {
    updateDeviceState(true, cardStatus, batteryLevel, 0, 0, 0, true, settings, ranges);
  }

  static DeviceSettings allSettings(int signal, int advertising, int display, int backlight, int buzzer,
                                    int coverage = 0) {
    DeviceSettings settings;
    settings.signalStrength = signal;
    settings.advertisingMode = advertising;
    settings.displayAlwaysEnabled = display;
    settings.backlightEnabled = backlight;
    settings.contrastLevel = 3;
    settings.buzzerEnabled = buzzer;
    settings.encryptionEnabled = 1;
    settings.coverageRssiMinValue = coverage;
    return settings;
  }

 public slots:
  void sendSetting(BYTE setting, BYTE value) override { storeSentSetting(setting, value); }
  void sendWorkingTimeRanges(TimeRanges ranges) override { storeSentWorkingTimeRanges(ranges); }
  bool transmit(const QByteArray& request, QByteArray& response) override {
    record(request);
    std::lock_guard<std::mutex> guard(scriptLock);
    if (request.isEmpty() || !answers.contains(request[0])) return false;
    response = answers.value(request[0]);
    return true;
  }

 protected:
  bool showNotice(const QString&, const QString&, bool) override { return true; }

 private:
  static Descriptor descriptorOf(const QString& serial, Descriptor extra) {
    extra.insert(QStringLiteral("Serial"), serial);
    if (!extra.contains(QStringLiteral("MAC"))) extra.insert(QStringLiteral("MAC"), QStringLiteral("c0ffee000001"));
    return extra;
  }

  void record(const QByteArray& request) {
    std::lock_guard<std::mutex> guard(scriptLock);
    sentRequests.append(request);
    threads.append(QThread::currentThread());
  }

  mutable std::mutex scriptLock;
  QMap<char, QByteArray> answers;
  QList<QByteArray> sentRequests;
  QList<QThread*> threads;
};
