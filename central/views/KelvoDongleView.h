// SPDX-License-Identifier: Apache-2.0
#pragma once
// The Bridge page of the main window: a small state machine over a stacked widget. It never touches the Bridge's
// handle: it asks the controller through its request methods (which cross into the Bridge thread) and follows the
// outcome signals back on the window's thread.

#include <QList>
#include <QWidget>

#include "bridge/DeviceInfo.h"

class KelvoDongle;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;

class KelvoDongleView : public QWidget {
  Q_OBJECT

 public:
  enum State {
    kNotFound = 1,
    kActivated,
    kDeactivated,
    kMain,
    kScanning,
    kConnecting,
    kPairing,
    kPairingSent,
    kPairingCancelled,
    kAdvanced,
    kRenaming,
    kResetting,
    kQuerying,
    kPairedList,
  };

  explicit KelvoDongleView(KelvoDongle* dongle, QWidget* parent = nullptr);

  State state() const { return current; }

 protected:
  void showEvent(QShowEvent* event) override;

 private slots:
  void onScanFinished(const QList<DeviceInfo>& devices);
  void onConnected(const QString& status);
  void onFailed(const QString& error);
  void onChangeNameSucceeded(const QString& name);
  void onChangeNameFailed();
  void onPairedDevices(const QList<DeviceInfo>& devices);

 private:
  void buildPages();
  QWidget* buildMainPage();
  QWidget* buildPairingPage();
  QWidget* buildAdvancedPage();
  QWidget* buildPairedPage();
  void connectDongle();
  void enter(State state);
  void showMain();
  void showAdvanced();
  void setMainEnabled(bool enabled);
  void setAdvancedEnabled(bool enabled);
  void rename();
  void reset();
  void removeSelected();

  KelvoDongle* const dongle;
  State current = kNotFound;
  QList<DeviceInfo> results;
  DeviceInfo selected;
  QString bridgeName;
  bool resetArmed = false;

  QStackedWidget* pages = nullptr;
  QWidget* notFoundPage = nullptr;
  QWidget* mainPage = nullptr;
  QWidget* pairingPage = nullptr;
  QWidget* advancedPage = nullptr;
  QWidget* pairedPage = nullptr;
  QLabel* header = nullptr;
  QLabel* versionLabel = nullptr;
  QLabel* mainStatus = nullptr;
  QLabel* mainError = nullptr;
  QLabel* advancedStatus = nullptr;
  QLabel* advancedError = nullptr;
  QListWidget* readerList = nullptr;
  QPushButton* scanButton = nullptr;
  QPushButton* connectButton = nullptr;
  QPushButton* advancedButton = nullptr;
  QLabel* pairingReader = nullptr;
  QLineEdit* codeField = nullptr;
  QPushButton* pairButton = nullptr;
  QPushButton* cancelButton = nullptr;
  QLineEdit* nameField = nullptr;
  QPushButton* renameButton = nullptr;
  QPushButton* resetButton = nullptr;
  QPushButton* pairedButton = nullptr;
  QPushButton* advancedBack = nullptr;
  QLabel* pairedHeader = nullptr;
  QListWidget* pairedList = nullptr;
};
