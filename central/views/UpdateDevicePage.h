// SPDX-License-Identifier: Apache-2.0
#pragma once
// The pop-up that offers a newer firmware to a first-generation reader: which version, for which reader, what it
// brings; "Update" hands the reader to the window, which has the update prepared, "Cancel" closes the pop-up.

#include <QWidget>

class KelvoDevice;

class UpdateDevicePage : public QWidget {
  Q_OBJECT

 public:
  explicit UpdateDevicePage(KelvoDevice* device, QWidget* parent = nullptr);

  // The offer as the page shows it; empty when the reader has no newer firmware.
  static QString offerText(KelvoDevice* device);

 signals:
  void updateClicked(KelvoDevice* device);
  void cancelClicked();

 private:
  KelvoDevice* device;
};
