// SPDX-License-Identifier: Apache-2.0
#include "ApplicationSettings.h"

#include <QSettings>
#include <QVariant>
#include <mutex>

namespace {

std::mutex& storeLock() {
  static std::mutex lock;
  return lock;
}

// Created on first use, after the application's identity is set, and kept for the whole process.
QSettings& store() {
  static QSettings* settings = new QSettings();
  return *settings;
}

const char kBatteryWarningThreshhold[] = "batteryWarningThreshhold";
const char kDeviceNamePrefix[] = "deviceName_";
const char kServerUrl[] = "serverUrl";
const char kUpdateServerUrl[] = "updateServerUrl";
const char kUpdateCaFile[] = "updateCaFile";
const char kSkippedFirmwareVersion[] = "skippedFirmwareVersion";
const char kLockingWorkstation[] = "lockingWorkstation";
const char kTutorialOnStarup[] = "tutorialOnStarup";
const char kNoTrayNoticeShown[] = "noTrayNoticeShown";
const char kPkcs11Module[] = "pkcs11Module";
const char kDefaultPkcs11Module[] = "opensc-pkcs11.so";
const char kLastLogTimePrefix[] = "lastLogTime_";
const char kLogonReaderPrefix[] = "logonReader_";

}  // namespace

QVariant ApplicationSettings::read(const QString& key, const QVariant& defaultValue) {
  std::lock_guard<std::mutex> guard(storeLock());
  return store().value(key, defaultValue);
}

void ApplicationSettings::write(const QString& key, const QVariant& value) {
  std::lock_guard<std::mutex> guard(storeLock());
  store().setValue(key, value);
  store().sync();
}

int ApplicationSettings::batteryWarningThreshhold() { return read(kBatteryWarningThreshhold, 20).toInt(); }

void ApplicationSettings::setBatteryWarningThreshhold(int percent) { write(kBatteryWarningThreshhold, percent); }

QString ApplicationSettings::deviceName(const QString& key) {
  return read(kDeviceNamePrefix + key, QString()).toString();
}

void ApplicationSettings::setDeviceName(const QString& key, const QString& name) {
  write(kDeviceNamePrefix + key, name);
}

QString ApplicationSettings::serverUrl() { return read(kServerUrl, QString()).toString(); }

void ApplicationSettings::setServerUrl(const QString& url) { write(kServerUrl, url); }

QString ApplicationSettings::updateServerUrl(const QString& defaultUrl) {
  return read(kUpdateServerUrl, defaultUrl).toString();
}

void ApplicationSettings::setUpdateServerUrl(const QString& url) { write(kUpdateServerUrl, url); }

QString ApplicationSettings::updateCaFile() { return read(kUpdateCaFile, QString()).toString(); }

void ApplicationSettings::setUpdateCaFile(const QString& path) { write(kUpdateCaFile, path); }

QString ApplicationSettings::skippedFirmwareVersion() { return read(kSkippedFirmwareVersion, QString()).toString(); }

void ApplicationSettings::setSkippedFirmwareVersion(const QString& version) { write(kSkippedFirmwareVersion, version); }

bool ApplicationSettings::lockingWorkstation() { return read(kLockingWorkstation, true).toBool(); }

void ApplicationSettings::setLockingWorkstation(bool locking) { write(kLockingWorkstation, locking); }

// A label may hold any character, '/' included, which the store would take for a group: it is keyed in hex.
QString ApplicationSettings::logonReader(const QString& tokenLabel) {
  return read(kLogonReaderPrefix + QString::fromLatin1(tokenLabel.toUtf8().toHex()), QString()).toString();
}

void ApplicationSettings::setLogonReader(const QString& tokenLabel, const QString& reader) {
  write(kLogonReaderPrefix + QString::fromLatin1(tokenLabel.toUtf8().toHex()), reader);
}

QString ApplicationSettings::pkcs11Module() {
  const QString name = read(kPkcs11Module, QString()).toString();
  return name.isEmpty() ? QString::fromLatin1(kDefaultPkcs11Module) : name;
}

void ApplicationSettings::setPkcs11Module(const QString& name) { write(kPkcs11Module, name); }

bool ApplicationSettings::tutorialOnStarup() { return read(kTutorialOnStarup, true).toBool(); }

bool ApplicationSettings::noTrayNoticeShown() { return read(kNoTrayNoticeShown, false).toBool(); }

void ApplicationSettings::setNoTrayNoticeShown(bool shown) { write(kNoTrayNoticeShown, shown); }

void ApplicationSettings::setTutorialOnStarup(bool show) { write(kTutorialOnStarup, show); }

qint64 ApplicationSettings::lastLogTime(const QString& mac) {
  return read(kLastLogTimePrefix + mac, qint64(0)).toLongLong();
}

void ApplicationSettings::setLastLogTime(const QString& mac, qint64 millisecondsSinceEpoch) {
  write(kLastLogTimePrefix + mac, millisecondsSinceEpoch);
}
