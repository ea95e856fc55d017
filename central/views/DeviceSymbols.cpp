// SPDX-License-Identifier: Apache-2.0
#include "DeviceSymbols.h"

namespace {

struct ModelPictures {
  const char* model;
  const char* front;
  const char* back;
};

const ModelPictures kModelPictures[] = {
    {"tvKelvo", ":/res/gui/tvKelvo-On.png", ":/res/gui/tvKelvo-Back.png"},
    {"tvKelvo2", ":/res/gui/K2-front.png", ":/res/gui/K2-back.png"},
    {"tvKelvo2Mini", ":/res/gui/tvKelvo2Mini-Front.png", ":/res/gui/tvKelvo2Mini-Back.png"},
};
const ModelPictures kClassicPictures = {"Classic", ":/res/gui/Kelvo-On.png", ":/res/gui/Kelvo-Back.png"};

const ModelPictures& picturesOf(const QString& modelName) {
  for (const ModelPictures& pictures : kModelPictures) {
    if (modelName == QLatin1String(pictures.model)) return pictures;
  }
  return kClassicPictures;
}

const char* ecoBaseName(DeviceSymbols::EcoSetting setting) {
  switch (setting) {
    case DeviceSymbols::EcoSetting::Display:
      return ":/res/gui/EcoMode-Grafik_display";
    case DeviceSymbols::EcoSetting::Backlight:
      return ":/res/gui/EcoMode-Grafik_backlight";
    case DeviceSymbols::EcoSetting::Buzzer:
      return ":/res/gui/EcoMode-Grafik_buzzer";
  }
  return "";
}

}  // namespace

QString DeviceSymbols::frontPicture(const QString& modelName) {
  return QString::fromLatin1(picturesOf(modelName).front);
}

QString DeviceSymbols::backPicture(const QString& modelName) { return QString::fromLatin1(picturesOf(modelName).back); }

bool DeviceSymbols::isSecondGeneration(const QString& serial) {
  return serial.startsWith(QLatin1String("K2")) || serial.startsWith(QLatin1String("KLV2"));
}

int DeviceSymbols::signalLevels(const QString& serial) { return isSecondGeneration(serial) ? 4 : 3; }

bool DeviceSymbols::hasSignalSymbol(int signalStrength, int levels) {
  return signalStrength >= 0 && signalStrength < levels;
}

QString DeviceSymbols::signalSymbol(int signalStrength, int levels) {
  if (!hasSignalSymbol(signalStrength, levels)) return QString();
  return QStringLiteral(":/res/gui/eco-signal-%1-%2.png").arg(signalStrength + 1).arg(levels);
}

QString DeviceSymbols::cardSymbol(int cardStatus) {
  if (cardStatus == kCardReady) return QStringLiteral(":/res/gui/Card-OK.png");
  if (cardStatus == kCardNotIdentified) return QStringLiteral(":/res/gui/Card-not_identified.png");
  return QStringLiteral(":/res/gui/Card-NoCard.png");
}

bool DeviceSymbols::hasEcoSymbol(int value) { return value == 0 || value == 1; }

QString DeviceSymbols::ecoSymbol(EcoSetting setting, int value) {
  if (!hasEcoSymbol(value)) return QString();
  return QString::fromLatin1(ecoBaseName(setting)) + (value == 0 ? QStringLiteral("_ECO.png") : QStringLiteral(".png"));
}

QString DeviceSymbols::advertisingSymbol() { return QStringLiteral(":/res/gui/EcoMode-Grafik_advertising.png"); }

QString DeviceSymbols::coverageSymbol(int coverageRssiMinValue) {
  return coverageRssiMinValue == kCoverageOff ? QStringLiteral(":/res/gui/coverage_off.png")
                                              : QStringLiteral(":/res/gui/coverage_on.png");
}

QString DeviceSymbols::chargingSymbol() { return QStringLiteral(":/res/gui/charging.png"); }

QString DeviceSymbols::encryptionSymbol() { return QStringLiteral(":/res/gui/lock-256.png"); }

bool DeviceSymbols::hasBacklight(const QString& serial) { return !serial.startsWith(QLatin1String("K2M")); }
