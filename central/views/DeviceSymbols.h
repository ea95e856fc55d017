// SPDX-License-Identifier: Apache-2.0
#pragma once
// Which picture the device view shows for a reader value. Kept apart from the widgets so that the choice can be
// checked without drawing anything; an empty name means that no symbol is shown.

#include <QString>

class DeviceSymbols {
 public:
  enum class EcoSetting { Display, Backlight, Buzzer };

  static QString frontPicture(const QString& modelName);
  static QString backPicture(const QString& modelName);

  // Second-generation readers have four transmit power levels, the first generation three.
  static bool isSecondGeneration(const QString& serial);
  static int signalLevels(const QString& serial);
  static bool hasSignalSymbol(int signalStrength, int levels);
  static QString signalSymbol(int signalStrength, int levels);

  static QString cardSymbol(int cardStatus);
  static bool hasEcoSymbol(int value);
  static QString ecoSymbol(EcoSetting setting, int value);
  static QString advertisingSymbol();
  static QString coverageSymbol(int coverageRssiMinValue);
  static QString chargingSymbol();
  static QString encryptionSymbol();

  // The Mini has no backlight, so its page offers none.
  static bool hasBacklight(const QString& serial);

  static constexpr int kCardReady = 6;
  static constexpr int kCardNotIdentified = 2;
  static constexpr int kCoverageOff = 127;
};
