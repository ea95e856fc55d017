// SPDX-License-Identifier: Apache-2.0
#pragma once
// The application's one top-level window and its tray presence: a stack of pages (the "No Device" page first, one
// page per reader later), pop-up panels shown inside a shade over the page, the tray menu, and the log and
// settings windows. Closing the window only hides it while the tray icon is there.

#include <QPoint>
#include <QSystemTrayIcon>
#include <QWidget>
#include <memory>

class AboutView;
class KelvoDevice;
class KelvoDeviceManager;
class KelvoDeviceView;
class LockWorkstationTask;
class LogView;
class PinChangeView;
class PinView;
class PinUnblockView;
class KelvoDongleView;
class QAction;
class QMenu;
class QThread;
class SettingsView;
class UpdateDialog;
class UpdateFirmwareView;

namespace Ui {
class Window;
}

class Window : public QWidget {
  Q_OBJECT

 public:
  static constexpr double kPointToPixel = 1.3333334;
  static constexpr int kFixedPopupMaxWidth = 260;

  // Without a tray (`trayAvailable` false) the window is the program: closing it quits, and a menu button in its
  // header offers what the tray menu would.
  explicit Window(bool simpleQuit, QWidget* parent = nullptr, bool trayAvailable = true);
  ~Window() override;

  void addTestDevice(const QString& serial);
  // Shows the window on top, restored if it was hidden or minimised (a second start asked for it).
  void bringToFront();

  LogView* logView() const { return logWindow.get(); }
  SettingsView* settingsView() const { return settingsWindow.get(); }
  KelvoDeviceManager* deviceManager() const { return manager; }
  PinChangeView* pinChangeView() const { return pinChangeWindow.get(); }
  PinUnblockView* pinUnblockView() const { return pinUnblockWindow.get(); }
  // The menu the current page offers on a right click (built anew for each click).
  QMenu* createPageMenu();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void iconActivated(QSystemTrayIcon::ActivationReason reason);
  void deviceInitialized(KelvoDevice* device);
  void deviceRemoved(KelvoDevice* device);
  void deviceAuthorized(KelvoDevice* device);
  void resetKeyNeeded(const QString& ieee);
  void deviceViewFocused();
  void deviceSelected(const QString& deviceName);
  void popupOpened(QWidget* posWidget, QWidget* content, bool fixedWidth, bool downwards, QPoint offset);
  void popupOpened(QWidget* posWidget, QWidget* content, bool fixedWidth, bool downwards);
  void popupOpened(QWidget* posWidget, QWidget* content, bool fixedWidth);
  void popupClosed(bool isGlobal);
  void popupClosed();
  void prepareFirmwareUpdate(KelvoDevice* device);
  void updateFirmware(KelvoDevice* device);
  void pinChangeRequested();
  void pinUnblockRequested();
  void on_changeDeviceButton_clicked();
  void on_kelvoStack_currentChanged(int index);
  void on_logoButton_clicked();
  void pageMenuRequested(const QPoint& position);

 private:
  void convertChangeDeviceButtonFont();
  void createPopupShade();
  void createActions();
  void createTrayIcon();
  void createWindowMenu();
  void showNoTrayNoticeOnce();
  void initializeNotifications();
  void deletePopupFrames();
  void connectPopupContent(QWidget* content);
  void placePopupFrame(QWidget* frame, QWidget* posWidget, bool downwards, QPoint offset);
  void createDeviceManager();
  void createBridgeView();
  void createPinViews();
  static void showOnTop(QWidget* window);
  void createUpdateDialog();
  void openPinView(PinView* view);
  void connectDeviceManagerLog();
  void stopDeviceManager();
  void createLockTask();
  void stopLockTask();
  KelvoDeviceView* pageOf(KelvoDevice* device) const;
  KelvoDevice* currentDevice() const;
  void checkCurrentDeviceForUpdate();

  std::unique_ptr<Ui::Window> ui;
  bool simpleQuit;
  bool trayAvailable;

  QAction* restoreAction = nullptr;
  QAction* settingsAction = nullptr;
  QAction* logAction = nullptr;
  QAction* quitAction = nullptr;
  QAction* aboutAction = nullptr;
  QAction* tutorialAction = nullptr;
  QAction* checkForUpdateAction = nullptr;
  QAction* bridgeAction = nullptr;
  QAction* changePinAction = nullptr;
  QAction* unblockPinAction = nullptr;

  QSystemTrayIcon* trayIcon = nullptr;
  QMenu* trayIconMenu = nullptr;
  QMenu* windowMenu = nullptr;

  QWidget* popupShade = nullptr;
  bool popupSticky = false;

  std::unique_ptr<LogView> logWindow;
  std::unique_ptr<SettingsView> settingsWindow;
  std::unique_ptr<PinChangeView> pinChangeWindow;
  std::unique_ptr<PinUnblockView> pinUnblockWindow;
  std::unique_ptr<KelvoDongleView> bridgeWindow;
  std::unique_ptr<AboutView> aboutWindow;
  std::unique_ptr<UpdateDialog> updateDialog;
  std::unique_ptr<UpdateFirmwareView> updateFirmwareWindow;

  // Lives in its own thread from construction; deleted there when the window goes.
  KelvoDeviceManager* manager = nullptr;
  std::unique_ptr<QThread> deviceManagerThread;

  // Blocks its own thread in pcsc-lite's wait for reader changes; stopped and deleted when the window goes.
  LockWorkstationTask* lockTask = nullptr;
  std::unique_ptr<QThread> lockTaskThread;
};
