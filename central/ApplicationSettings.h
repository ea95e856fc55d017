// SPDX-License-Identifier: Apache-2.0
#pragma once
// The application's per-user settings, keyed by the organisation and application names set at start-up.
// Every call reads or writes the store at once; the device manager, the lock task and the Bridge thread call in
// from their own threads, so one lock guards the shared store object.

#include <QString>
#include <QVariant>
#include <QtGlobal>

class ApplicationSettings {
 public:
  static int batteryWarningThreshhold();
  static void setBatteryWarningThreshhold(int percent);

  static QString deviceName(const QString& key);
  static void setDeviceName(const QString& key, const QString& name);

  static QString serverUrl();
  static void setServerUrl(const QString& url);

  static QString updateServerUrl(const QString& defaultUrl);
  static void setUpdateServerUrl(const QString& url);
  // A PEM file of certificate authorities trusted for the update server besides the system's (empty: none).
  static QString updateCaFile();
  static void setUpdateCaFile(const QString& path);
  // The firmware release the user chose to skip; it is not offered again.
  static QString skippedFirmwareVersion();
  static void setSkippedFirmwareVersion(const QString& version);

  static bool lockingWorkstation();
  static void setLockingWorkstation(bool locking);

  // The PC/SC reader in which the smart-card logon token with this label was last seen.
  static QString logonReader(const QString& tokenLabel);
  static void setLogonReader(const QString& tokenLabel, const QString& reader);

  // The PKCS#11 module that reaches the cards (a file name on the library path, or a path).
  static QString pkcs11Module();
  static void setPkcs11Module(const QString& name);

  static bool tutorialOnStarup();
  static void setTutorialOnStarup(bool show);

  // Whether the window has told the user, once, that a tray would let the program run in the background.
  static bool noTrayNoticeShown();
  static void setNoTrayNoticeShown(bool shown);

  // Milliseconds since the epoch; 0 when the reader has never been logged.
  static qint64 lastLogTime(const QString& mac);
  static void setLastLogTime(const QString& mac, qint64 millisecondsSinceEpoch);

 private:
  static QVariant read(const QString& key, const QVariant& defaultValue);
  static void write(const QString& key, const QVariant& value);
};
