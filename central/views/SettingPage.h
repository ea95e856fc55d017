#pragma once
// The common frame of the small pop-up pages that change one reader setting: a title, a help text and a row of
// controls. A page changes one field of the device's current settings record and hands the whole record back to
// the device, which sends only what differs, in its own thread.

#include <QWidget>

class KelvoDevice;
class QHBoxLayout;

class SettingPage : public QWidget {
  Q_OBJECT

 public:
  SettingPage(KelvoDevice* device, const QString& title, const QString& helpText, QWidget* parent = nullptr);

  // Setting ids of the reader, as the device model numbers its settings record.
  static constexpr int kSignalStrengthId = 1;
  static constexpr int kAdvertisingModeId = 2;
  static constexpr int kDisplayAlwaysEnabledId = 3;
  static constexpr int kBacklightEnabledId = 4;
  static constexpr int kBuzzerEnabledId = 6;

 protected:
  KelvoDevice* device() const { return kelvoDevice; }
  QHBoxLayout* controls() const { return controlRow; }
  int currentValue(int settingId) const;
  // Nothing is sent while the field is still unknown: a guess would overwrite the reader's real value.
  void changeSetting(int settingId, int value);

 private:
  KelvoDevice* kelvoDevice;
  QHBoxLayout* controlRow;
};
