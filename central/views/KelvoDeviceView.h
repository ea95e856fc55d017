// SPDX-License-Identifier: Apache-2.0
#pragma once
// The page of one reader in the main window: its picture (front, or back with its bondings), card, battery gauge
// with the warning threshold, USB-cable, encryption and coverage symbols, one symbol and button per power-saving
// setting, and its descriptor. It redraws on the device's change signals and only reads the device; changes go
// through the pop-up setting pages, and reader operations run in the device's own thread.

#include <QMap>
#include <QPoint>
#include <QWidget>

class KelvoDevice;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStackedWidget;

class KelvoDeviceView : public QWidget {
  Q_OBJECT

 public:
  // The manager is only asked to prepare a second-generation reader's update; any QObject with the signal
  // prepareFirmwareUpdateRequested(KelvoDevice*) will do.
  KelvoDeviceView(QObject* deviceManager, KelvoDevice* device, QWidget* parent = nullptr);

  KelvoDevice* device() const { return kelvoDevice; }

 signals:
  void debugMessageLogged(QString message);
  void deviceViewFocused();
  void popupOpened(QWidget* posWidget, QWidget* content, bool fixedWidth, bool downwards = false,
                   QPoint offset = QPoint(0, 0));

 public slots:
  void cardStatusChanged(int status);
  void batteryLevelChanged(int level);
  void cardAtrNumberChanged(int number);
  void usbCableStatusChanged(int status);
  void encryptionUsedChanged(bool used);
  void signalStrengthChanged(int value);
  void advertisingModeChanged(int value);
  void displayAlwaysEnabledChanged(int value);
  void backlightEnabledChanged(int value);
  void buzzerEnabledChanged(int value);
  void coverageRssiMinValueChanged(int value);
  void deviceOutdated();
  void workingTimeRangesClicked();

 private slots:
  void pictureSwitched(bool showBack);
  void bondingSelected(QListWidgetItem* current);
  void eraseClicked();
  void updateClicked();
  void signalStrengthClicked();
  void advertisingClicked();
  void displayClicked();
  void backlightClicked();
  void buzzerClicked();
  void batteryClicked();

 private:
  void setFocusOrder();
  // The power-saving symbol's state in words.
  void describeEco(QLabel* symbol, int value);
  struct Bondings {
    bool ok = false;
    QMap<int, QString> names;
    int ownIndex = -1;
  };

  void createForm();
  QWidget* createPictureColumn();
  QWidget* createStatusColumn();
  QWidget* createInfoStack();
  QWidget* createEcoPanel();
  void connectDevice();
  void applyCurrentValues();
  void loadDriverVersion();
  void fillDescriptorTable(const QString& driverVersion);
  void loadBondings();
  void showBondings(const Bondings& bondings);
  void erasedBonding(int index, bool ok);
  void openSettingPage(QPushButton* anchor, QWidget* page, QPoint offset = QPoint(0, 0));

  QObject* manager;
  KelvoDevice* kelvoDevice;
  QString frontPicture;
  QString backPicture;
  bool bondingsLoaded = false;
  bool hasBacklight;
  int cardAtrNumber = 0;

  QWidget* mainArea = nullptr;
  QPushButton* titleButton = nullptr;
  QPushButton* pictureButton = nullptr;
  QPushButton* turnButton = nullptr;
  QLabel* cardLabel = nullptr;
  QLabel* batteryBody = nullptr;
  QLabel* batteryBar = nullptr;
  QLabel* batteryMarker = nullptr;
  QLabel* batteryLevelLabel = nullptr;
  QPushButton* batteryButton = nullptr;
  QLabel* chargingLabel = nullptr;
  QLabel* encryptionLabel = nullptr;
  QLabel* coverageLabel = nullptr;
  QStackedWidget* infoStack = nullptr;
  QLabel* descriptorKeys = nullptr;
  QLabel* descriptorSeparators = nullptr;
  QLabel* descriptorValues = nullptr;
  QPushButton* updateButton = nullptr;
  QWidget* bondingArea = nullptr;
  QListWidget* bondList = nullptr;
  QPushButton* eraseButton = nullptr;
  QLabel* signalLabel = nullptr;
  QPushButton* signalButton = nullptr;
  QLabel* advertisingLabel = nullptr;
  QPushButton* advertisingButton = nullptr;
  QLabel* displayLabel = nullptr;
  QPushButton* displayButton = nullptr;
  QLabel* backlightLabel = nullptr;
  QPushButton* backlightButton = nullptr;
  QLabel* buzzerLabel = nullptr;
  QPushButton* buzzerButton = nullptr;
};
