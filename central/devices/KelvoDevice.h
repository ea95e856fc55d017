// SPDX-License-Identifier: Apache-2.0
#pragma once
// The application's picture of one reader: its descriptor, its last known state, settings and working-time
// ranges, and the flags of the application's own workflows. It polls its reader every two seconds, turns every
// change into a signal and a log line, warns about the battery and takes part in authorisation.
//
// A device lives in the thread that created it (the device-manager thread). Other threads ask it for work only by
// emitting its ...Requested signals, which the constructor connects to the slots of the same purpose, and read
// its fields through the accessors, which take a lock because the device's thread writes them at any time.
// A plain KelvoDevice has no transport: it is the simulated reader of the -testDevice option.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "MetaTypes.h"
#include "devices/DeviceSettings.h"
#include "devices/TimeRanges.h"

namespace trevalon {
class Firmware;  // the newer firmware found for a reader; arrives with the firmware update work
}

class KelvoDevice : public QObject {
  Q_OBJECT

 public:
  using Descriptor = QMap<QString, QString>;

  static constexpr int kStatePollMs = 2000;
  static constexpr int kDailyMs = 86400000;
  static constexpr int kUpdateRetryStepMs = 300000;
  static constexpr int kCardStatusNoCard = 1;
  static constexpr int kCardStatusReady = 6;

  KelvoDevice(const Descriptor& descriptor, QObject* parent = nullptr);
  ~KelvoDevice() override;

  // Transport-specific operations, in the order the subclasses override them.
  virtual QString address() const;
  virtual bool hasTransport() const;
  virtual QString driverVersion();

  void updateDeviceState(bool connected, int cardStatus, int batteryLevel, int encryptionStatus, int cardAtrNumber,
                         int usbCableStatus, bool encryptionUsed, const DeviceSettings& settings,
                         const TimeRanges& ranges);
  // Sends each sendable setting whose value differs from the stored one, through the device's own thread.
  void applySettings(const DeviceSettings& settings);
  void applyWorkingTimeRanges(const TimeRanges& ranges);
  void setAuthorized(bool ok);
  void setAvailableFirmware(std::shared_ptr<trevalon::Firmware> firmware);
  void scheduleUpdateCheckRetry();
  // Locks the workstation when the card left an authorised reader and the workstation policy asks for it.
  virtual void lockWorkstationOnCardRemoval();

  // Reader operations over the raw RPC channel; they run in the caller's thread.
  bool getBondedDevices(QMap<int, QString>& bonds, int& ownIndex);
  bool eraseBond(int index);
  bool writeExternalFlash(const QByteArray& data, int offset, int length);
  bool supportsExternalFlash();
  // One RPC through transmit, as the library's firmware steps take it; nothing when the exchange failed.
  std::optional<std::vector<uint8_t>> exchangeRpc(const std::vector<uint8_t>& request);
  bool gotoBootloader(quint8 mode);

  QString displayName() const;
  QString modelName() const;
  bool isSecondGeneration() const;

  Descriptor descriptor() const;
  QString serial() const;
  DeviceSettings settings() const;
  TimeRanges workingTimeRanges() const;
  QList<int> firmwareVersion() const;
  QList<int> hardwareVersion() const;
  bool isRemoved() const;
  bool isAuthorized() const;
  bool isAuthorizationStarted() const;
  bool isAuthorizationFailed() const;
  bool isInitialized() const;
  int cardStatus() const;
  int batteryLevel() const;
  int encryptionStatus() const;
  int cardAtrNumber() const;
  int usbCableStatus() const;
  bool encryptionUsed() const;
  int signalStrength() const;
  int advertisingMode() const;
  int displayAlwaysEnabled() const;
  int backlightEnabled() const;
  int contrastLevel() const;
  int buzzerEnabled() const;
  int encryptionEnabled() const;
  int coverageRssiMinValue() const;
  std::shared_ptr<trevalon::Firmware> availableFirmware() const;
  // The reader runs other firmware now: its new descriptor, and no update is pending any more.
  void replaceDescriptor(const Descriptor& descriptor);
  int updateCheckRetryCount() const;
  bool isBatteryNoticeShown() const;

 signals:
  void deviceInitialized(KelvoDevice* device);
  void deviceRemoved(KelvoDevice* device);
  void deviceAuthorized(KelvoDevice* device);
  void authorizationStarted(KelvoDevice* device);
  void errorOccurred(QString error);
  void debugMessageLogged(QString message);
  void verboseMessageLogged(QString message);
  void cardStatusChanged(int status);
  void batteryLevelChanged(int level);
  void encryptionStatusChanged(int status);
  void cardAtrNumberChanged(int number);
  void usbCableStatusChanged(int status);
  void encryptionUsedChanged(bool used);
  void signalStrengthChanged(int value);
  void advertisingModeChanged(int value);
  void displayAlwaysEnabledChanged(int value);
  void backlightEnabledChanged(int value);
  void contrastLevelChanged(int value);
  void buzzerEnabledChanged(int value);
  void encryptionEnabledChanged(int value);
  void coverageRssiMinValueChanged(int value);
  void workingTimeRangesChanged(TimeRanges ranges);
  void removeDeviceRequested();
  void sendSettingRequested(BYTE setting, BYTE value);
  void sendWorkingTimeRangesRequested(TimeRanges ranges);
  void indicateRequested(quint8 indication, quint8 param1, quint8 param2);
  void deviceOutdated();
  void descriptorChanged();
  void deviceLogged(KelvoDevice* device);
  void deviceUpdateChecking(KelvoDevice* device);

 public slots:
  void removeDevice();
  virtual void sendSetting(BYTE setting, BYTE value);
  virtual void sendWorkingTimeRanges(TimeRanges ranges);
  virtual bool indicate(quint8 indication, quint8 param1, quint8 param2);
  virtual bool transmit(const QByteArray& request, QByteArray& response);
  // The descriptor as the reader reports it now (after a firmware update it names the new firmware).
  virtual bool readDescriptor(QByteArray& data);

 private slots:
  void onBatteryLevelChanged(int level);
  void onUsbCableStatusChanged(int status);

 protected:
  virtual void requestState();
  // The desktop notice of a battery warning; false when it could not be shown.
  // `urgent` notices (a low battery) ask the desktop to show them above others.
  virtual bool showNotice(const QString& title, const QString& text, bool urgent);
  void timerEvent(QTimerEvent* event) override;

  // For the transports: store a value the reader accepted and announce it.
  void storeSentSetting(BYTE setting, BYTE value);
  void storeSentWorkingTimeRanges(const TimeRanges& ranges);

 private:
  struct State;

  void initializeFrom(const State& incoming);
  void applyChanges(const State& incoming);
  void followAuthorization(bool connected);
  void removeIfDisconnected(bool connected);
  void stopTimers();
  void onDailyTimer();
  // Called with the lock held.
  void parseVersions();
  QString descriptorValue(const QString& key) const;

  mutable std::mutex lock;
  int statePollTimerId = 0;
  int dailyTimerId = 0;
  bool removed = false;
  Descriptor descriptorItems;
  DeviceSettings settingsRecord;
  TimeRanges ranges;
  QList<int> firmwareVersionNumbers;
  QList<int> hardwareVersionNumbers;
  bool authorized = false;
  bool authorizationStartedFlag = false;
  bool authorizationFailedFlag = false;
  bool initialized = false;
  int cardStatusValue = kCardStatusNoCard;
  int batteryLevelValue = 0;
  int encryptionStatusValue = 0;
  int cardAtrNumberValue = 0;
  int usbCableStatusValue = 0;
  bool encryptionUsedValue = false;
  std::shared_ptr<trevalon::Firmware> availableFirmwareValue;
  int updateCheckRetries = 1;
  bool batteryNoticeShown = false;
};

Q_DECLARE_METATYPE(KelvoDevice*)
