// SPDX-License-Identifier: Apache-2.0
#include "devices/KelvoDeviceDongle.h"

#include "bridge/KelvoDongle.h"

namespace {

constexpr char kGetDeviceDescriptor = 1;
constexpr char kGetSettings = 8;
constexpr char kGetWorkingTimeRanges = 11;
constexpr char kSetWorkingTimeRanges = 12;
constexpr char kGetDeviceState = 13;
constexpr quint8 kIndicationSetSetting = 5;
constexpr char kStatusOk = 0;
constexpr char kStatusNotSupported = 2;
constexpr int kRangesAnswer = 29;
constexpr int kStateAnswer = 7;
// What a reader without a state request is taken to report.
constexpr int kAssumedCardStatus = 6;
constexpr int kAssumedBatteryLevel = 50;

int byteAt(const QByteArray& bytes, int index) { return static_cast<quint8>(bytes.at(index)); }

int16_t int16At(const QByteArray& bytes, int index) {
  return static_cast<int16_t>(byteAt(bytes, index) | (byteAt(bytes, index + 1) << 8));
}

}  // namespace

KelvoDeviceDongle::KelvoDeviceDongle(KelvoDongle* bridge, const Descriptor& descriptor, QObject* parent)
    : KelvoDevice(descriptor, parent), dongle(bridge) {}

QString KelvoDeviceDongle::address() const { return dongle ? dongle->serial() : QString(); }

bool KelvoDeviceDongle::hasTransport() const { return !dongle.isNull(); }

void KelvoDeviceDongle::requestState() {
  if (!dongle) return;
  DeviceSettings settings = this->settings();
  TimeRanges ranges = workingTimeRanges();
  QByteArray state;
  const bool read = (stateRead || (readSettings(settings) && readRanges(ranges))) &&
                    transmit(QByteArray(1, kGetDeviceState), state) && !state.isEmpty();
  int encryption = 0;
  int card = kAssumedCardStatus;
  int battery = kAssumedBatteryLevel;
  int usb = 0;
  int atrNumber = 0;
  if (read && state.at(0) == kStatusOk && state.size() == kStateAnswer) {
    encryption = byteAt(state, 1);
    card = byteAt(state, 2);
    battery = byteAt(state, 3);
    usb = byteAt(state, 4);
    atrNumber = byteAt(state, 5) | (byteAt(state, 6) << 8);
  } else if (read && state.at(0) == kStatusNotSupported) {
    if (!stateRead)
      emit debugMessageLogged(QStringLiteral("Device %1 does not support state request").arg(displayName()));
  } else {
    emit verboseMessageLogged(QStringLiteral("Failed to update state of the device %1").arg(displayName()));
    return;
  }
  stateRead = true;
  updateDeviceState(true, card, battery, encryption, atrNumber, usb, settings.encryptionEnabled > 0, settings, ranges);
}

// GetSettings: status 0, then pairs of id and value.
bool KelvoDeviceDongle::readSettings(DeviceSettings& settings) {
  QByteArray answer;
  if (!transmit(QByteArray(1, kGetSettings), answer) || answer.size() <= 1 || answer.at(0) != kStatusOk) return false;
  for (int at = 1; at + 1 < answer.size(); at += 2) {
    const int id = byteAt(answer, at);
    const int value = byteAt(answer, at + 1);
    if (int32_t* field = settings.fieldOf(id)) {
      *field = value;
    } else {
      emit debugMessageLogged(QStringLiteral("Device %1 has unknown setting with id %2 and value %3")
                                  .arg(displayName())
                                  .arg(id)
                                  .arg(value));
    }
  }
  return true;
}

// GetWorkingTimeRanges: status 0, then seven pairs of signed 16-bit start and end.
bool KelvoDeviceDongle::readRanges(TimeRanges& ranges) {
  QByteArray answer;
  if (!transmit(QByteArray(1, kGetWorkingTimeRanges), answer) || answer.size() != kRangesAnswer ||
      answer.at(0) != kStatusOk) {
    return false;
  }
  for (int day = 0; day < TimeRanges::kEntries; ++day) {
    ranges.ranges[static_cast<size_t>(day)] = {int16At(answer, 1 + day * 4), int16At(answer, 3 + day * 4)};
  }
  return true;
}

void KelvoDeviceDongle::sendSetting(BYTE setting, BYTE value) {
  if (!dongle) return;
  if (dongle->sendIndication(kIndicationSetSetting, setting, value)) {
    storeSentSetting(setting, value);
  } else {
    emit debugMessageLogged(QStringLiteral("Failed to send setting to the device %1").arg(displayName()));
  }
}

void KelvoDeviceDongle::sendWorkingTimeRanges(TimeRanges ranges) {
  if (!dongle) return;
  QByteArray request(1, kSetWorkingTimeRanges);
  for (const TimeRanges::Range& range : ranges.ranges) {
    for (const int32_t value : {range.start, range.end}) {
      request.append(static_cast<char>(value & 0xFF));
      request.append(static_cast<char>((value >> 8) & 0xFF));
    }
  }
  QByteArray answer;
  if (transmit(request, answer) && !answer.isEmpty() && answer.at(0) == kStatusOk) {
    storeSentWorkingTimeRanges(ranges);
  } else {
    emit debugMessageLogged(QStringLiteral("Failed to send working time ranges to the device %1").arg(displayName()));
  }
}

bool KelvoDeviceDongle::indicate(quint8 indication, quint8 param1, quint8 param2) {
  if (!dongle) return false;
  if (dongle->sendIndication(indication, param1, param2)) return true;
  emit debugMessageLogged(QStringLiteral("Failed to send indicattion to the device %1").arg(displayName()));
  return false;
}

bool KelvoDeviceDongle::transmit(const QByteArray& request, QByteArray& response) {
  if (!dongle) return false;
  if (dongle->transmit(request, response)) return true;
  emit debugMessageLogged(QStringLiteral("Failed to transmit rpc to the device %1").arg(displayName()));
  return false;
}

bool KelvoDeviceDongle::readDescriptor(QByteArray& data) {
  QByteArray answer;
  if (!transmit(QByteArray(1, kGetDeviceDescriptor), answer) || answer.size() <= 1 || answer.at(0) != kStatusOk) {
    return false;
  }
  data = answer.mid(1);
  return true;
}
