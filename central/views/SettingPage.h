// SPDX-License-Identifier: Apache-2.0
#pragma once
// The common frame of the small pop-up pages that change one reader setting: a title, a help text and a row of
// controls. A page changes one field of the device's current settings record and hands the whole record back to
// the device, which sends only what differs, in its own thread. Settings are named by their DeviceSettingTable id.

#include <QWidget>
#include <functional>

#include "devices/DeviceSettingTable.h"

class KelvoDevice;
class QHBoxLayout;

class SettingPage : public QWidget {
  Q_OBJECT

 public:
  SettingPage(KelvoDevice* device, const QString& title, const QString& helpText, QWidget* parent = nullptr);

 protected:
  KelvoDevice* device() const { return kelvoDevice; }
  QHBoxLayout* controls() const { return controlRow; }
  int currentValue(int settingId) const;
  // Shows the setting's value now and every value the device announces from then on.
  void followSetting(int settingId, const std::function<void(int)>& show);
  // Nothing is sent while the field is still unknown: a guess would overwrite the reader's real value.
  void changeSetting(int settingId, int value);

 private:
  KelvoDevice* kelvoDevice;
  QHBoxLayout* controlRow;
};
