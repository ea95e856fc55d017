// SPDX-License-Identifier: Apache-2.0
#include "Window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QtMath>

#include "ApplicationSettings.h"
#include "Artwork.h"
#include "DesktopNotifications.h"
#include "LogView.h"
#include "SettingsView.h"
#include "TutorialLoader.h"
#include "devices/KelvoDevice.h"
#include "devices/KelvoDeviceManager.h"
#include "firmware/UpdateDialog.h"
#include "security/LockWorkstationTask.h"
#include "trevalon/firmware/Firmware.h"
#include "ui_Window.h"
#include "views/AboutView.h"
#include "views/DevicesPage.h"
#include "views/KelvoDeviceView.h"
#include "views/KelvoDongleView.h"
#include "views/PinChangeView.h"
#include "views/PinUnblockView.h"
#include "views/UpdateFirmwareView.h"

namespace {

const char kPopupShadeName[] = "popupShade";
const char kPopupFrameName[] = "popupFrame";
const char kPopupShadeStyle[] = "QWidget#popupShade {  background-color: rgba(0, 0, 0, 128);}";
const char kPopupFrameDownwardsStyle[] =
    "QWidget#popupFrame {  background-color: rgba(255, 255, 255, 0);  border-image: "
    "url(:/res/gui/infoblase-downwards.png);  border-width: 30px 200px 30px 30px;}";
const char kPopupFrameUpwardsStyle[] =
    "QWidget#popupFrame {  background-color: rgba(255, 255, 255, 0);  border-image: "
    "url(:/res/gui/infoblase-upwards.png);  border-width: 30px 200px 30px 30px;}";
const QPoint kDeviceListOffset(-100, 0);
// The bubble's tail needs room on the side it points to.
constexpr int kPopupSideMargin = 20;
constexpr int kTutorialDelayMs = 100;
const QPoint kTutorialOffset(-20, 0);
constexpr int kPopupTailMargin = 45;

}  // namespace

Window::Window(bool simpleQuit, QWidget* parent, bool trayAvailable)
    : QWidget(parent), ui(std::make_unique<Ui::Window>()), simpleQuit(simpleQuit), trayAvailable(trayAvailable) {
  ui->setupUi(this);
  // The form's pictures as the window's scale wants them (sharp when doubled).
  ui->logo->setPixmap(Artwork::pixmap(QStringLiteral(":/res/gui/Logo.png")));
  ui->shadowTop->setPixmap(Artwork::pixmap(QStringLiteral(":/res/gui/shadow-top.png")));
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowMaximizeButtonHint);
  convertChangeDeviceButtonFont();

  createDeviceManager();

  createPopupShade();

  logWindow = std::make_unique<LogView>();
  connectDeviceManagerLog();
  createLockTask();
  settingsWindow = std::make_unique<SettingsView>();
  connect(settingsWindow.get(), &SettingsView::kemServerAddressChanged, manager,
          &KelvoDeviceManager::kemServerAddressChanged);

  createBridgeView();
  createPinViews();
  aboutWindow = std::make_unique<AboutView>();
  createUpdateDialog();
  createActions();
  createTrayIcon();
  // The logo is a picture that opens the tutorial: it needs its words for screen readers.
  ui->logoButton->setAccessibleName(tr("Tutorial"));
  ui->logoButton->setAccessibleDescription(tr("Opens the tutorial"));
  ui->kelvoStack->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ui->kelvoStack, &QWidget::customContextMenuRequested, this, &Window::pageMenuRequested);
  connect(trayIcon, &QSystemTrayIcon::activated, this, &Window::iconActivated);
  if (trayAvailable) {
    trayIcon->setVisible(true);
  } else {
    createWindowMenu();
    showNoTrayNoticeOnce();
  }

  deviceManagerThread->start();
  lockTaskThread->start();
  emit lockTask->startLoop();
  if (ApplicationSettings::tutorialOnStarup())
    QTimer::singleShot(kTutorialDelayMs, this, &Window::on_logoButton_clicked);
  initializeNotifications();
}

void Window::bringToFront() { showOnTop(this); }

void Window::showOnTop(QWidget* window) {
  if (window->isMinimized()) window->showNormal();
  window->show();
  window->raise();
  window->activateWindow();
}

// The device pages go with the form, before their devices; the devices go with the manager in its own thread.
Window::~Window() {
  stopLockTask();
  ui.reset();
  stopDeviceManager();
}

void Window::createDeviceManager() {
  deviceManagerThread = std::make_unique<QThread>();
  deviceManagerThread->setObjectName(QStringLiteral("DeviceManager"));
  manager = new KelvoDeviceManager();
  manager->moveToThread(deviceManagerThread.get());
  connect(manager, &KelvoDeviceManager::deviceInitialized, this, &Window::deviceInitialized);
  connect(manager, &KelvoDeviceManager::deviceRemoved, this, &Window::deviceRemoved);
  connect(manager, &KelvoDeviceManager::deviceAuthorized, this, &Window::deviceAuthorized);
  connect(manager, &KelvoDeviceManager::resetKeyNeeded, this, &Window::resetKeyNeeded);
  connect(manager, &KelvoDeviceManager::updateFirmwarePrepared, this, &Window::updateFirmware);
}

// The Bridge page, a window of its own on the manager's Bridge controller.
void Window::createBridgeView() {
  bridgeWindow = std::make_unique<KelvoDongleView>(manager != nullptr ? manager->dongle() : nullptr);
  bridgeWindow->setObjectName(QStringLiteral("bridgeView"));
  bridgeWindow->setWindowTitle(tr("Bridge"));
  bridgeWindow->resize(420, 480);
}

// The views live in this thread and the manager in its own, so requests and outcomes are queued both ways.
void Window::createPinViews() {
  pinChangeWindow = std::make_unique<PinChangeView>();
  pinChangeWindow->setObjectName(QStringLiteral("pinChangeView"));
  connect(pinChangeWindow.get(), &PinChangeView::pinChangeRequested, manager, &KelvoDeviceManager::pinChangeRequested);
  connect(manager, &KelvoDeviceManager::pinSetSuccess, pinChangeWindow.get(), &PinView::pinSetSuccess);
  connect(manager, &KelvoDeviceManager::pinSetIncorrect, pinChangeWindow.get(), &PinView::pinSetIncorrect);
  connect(manager, &KelvoDeviceManager::pinSetFailed, pinChangeWindow.get(), &PinView::pinSetFailed);
  connect(manager, &KelvoDeviceManager::pinSetBlocked, pinChangeWindow.get(), &PinChangeView::pinSetBlocked);
  connect(manager, &KelvoDeviceManager::pinSetInvalid, pinChangeWindow.get(), &PinChangeView::pinSetInvalid);

  pinUnblockWindow = std::make_unique<PinUnblockView>();
  pinUnblockWindow->setObjectName(QStringLiteral("pinUnblockView"));
  connect(pinUnblockWindow.get(), &PinUnblockView::pinUnblockRequested, manager,
          &KelvoDeviceManager::pinUnblockRequested);
  connect(manager, &KelvoDeviceManager::pinSetSuccess, pinUnblockWindow.get(), &PinView::pinSetSuccess);
  connect(manager, &KelvoDeviceManager::pinSetIncorrect, pinUnblockWindow.get(), &PinView::pinSetIncorrect);
  connect(manager, &KelvoDeviceManager::pinSetFailed, pinUnblockWindow.get(), &PinView::pinSetFailed);
}

// The updater works in the manager's thread and the dialog in this one: offers, progress and answers are queued.
void Window::createUpdateDialog() {
  updateDialog = std::make_unique<UpdateDialog>();
  FirmwareUpdater* updater = manager->firmwareUpdater();
  connect(updater, &FirmwareUpdater::releaseOffered, updateDialog.get(), &UpdateDialog::offer);
  connect(updater, &FirmwareUpdater::downloadProgress, updateDialog.get(), &UpdateDialog::downloadProgress);
  connect(updater, &FirmwareUpdater::installing, updateDialog.get(), &UpdateDialog::installing);
  connect(updater, &FirmwareUpdater::finished, updateDialog.get(), &UpdateDialog::runFinished);
  connect(updateDialog.get(), &UpdateDialog::installChosen, updater, &FirmwareUpdater::install);
  connect(updateDialog.get(), &UpdateDialog::skipChosen, updater, &FirmwareUpdater::skip);
  connect(updateDialog.get(), &UpdateDialog::cancelChosen, updater, &FirmwareUpdater::cancel);
}

void Window::connectDeviceManagerLog() {
  connect(manager, &KelvoDeviceManager::errorOccurred, logWindow.get(), &LogView::errorOccurred);
  connect(manager, &KelvoDeviceManager::debugMessageLogged, logWindow.get(), &LogView::debugMessageLogged);
  connect(manager, &KelvoDeviceManager::verboseMessageLogged, logWindow.get(), &LogView::verboseMessageLogged);
}

void Window::stopDeviceManager() {
  manager->deleteLater();
  manager = nullptr;
  deviceManagerThread->quit();
  if (!deviceManagerThread->wait(KelvoDeviceManager::kBridgeThreadWaitMs)) {
    // A reader request still blocks the thread; the process is ending, so it is left to finish on its own.
    qWarning("The device manager's thread did not end in time");
    static_cast<void>(deviceManagerThread.release());
  }
}

void Window::createLockTask() {
  lockTaskThread = std::make_unique<QThread>();
  lockTaskThread->setObjectName(QStringLiteral("LockWorkstation"));
  lockTask = new LockWorkstationTask();
  lockTask->moveToThread(lockTaskThread.get());
  connect(lockTask, &LockWorkstationTask::errorOccurred, logWindow.get(), &LogView::errorOccurred);
  connect(lockTask, &LockWorkstationTask::debugMessageLogged, logWindow.get(), &LogView::debugMessageLogged);
}

void Window::stopLockTask() {
  lockTask->stop();
  const bool ended = lockTask->waitUntilEnded(KelvoDeviceManager::kBridgeThreadWaitMs);
  lockTaskThread->quit();
  if (!ended || !lockTaskThread->wait(KelvoDeviceManager::kBridgeThreadWaitMs)) {
    // pcscd did not give the wait back; the process is ending, so the task is left to its thread.
    qWarning("The lock task's thread did not end in time");
    static_cast<void>(lockTaskThread.release());
    lockTask = nullptr;
    return;
  }
  delete lockTask;
  lockTask = nullptr;
}

// The form is laid out in pixels; a point-sized font would grow with the screen's DPI and overflow the button.
void Window::convertChangeDeviceButtonFont() {
  QFont font = ui->changeDeviceButton->font();
  if (font.pointSizeF() > 0) {
    font.setPixelSize(qRound(font.pointSizeF() * kPointToPixel));
    ui->changeDeviceButton->setFont(font);
  }
}

void Window::createPopupShade() {
  auto* grid = qobject_cast<QGridLayout*>(layout());
  if (grid == nullptr) return;
  popupShade = new QWidget(this);
  popupShade->setObjectName(kPopupShadeName);
  popupShade->setAttribute(Qt::WA_StyledBackground);
  popupShade->setStyleSheet(kPopupShadeStyle);
  popupShade->hide();
  popupShade->installEventFilter(this);
  grid->addWidget(popupShade, 0, 0, grid->rowCount(), grid->columnCount());
}

void Window::createActions() {
  restoreAction = new QAction(tr("&Restore"), this);
  restoreAction->setObjectName("restoreAction");
  connect(restoreAction, &QAction::triggered, this, &QWidget::showNormal);

  settingsAction = new QAction(tr("&Settings"), this);
  settingsAction->setObjectName("settingsAction");
  connect(settingsAction, &QAction::triggered, settingsWindow.get(), &QWidget::show);

  logAction = new QAction(tr("&Log"), this);
  logAction->setObjectName("logAction");
  connect(logAction, &QAction::triggered, logWindow.get(), &QWidget::show);

  quitAction = new QAction(tr("&Quit"), this);
  quitAction->setObjectName("quitAction");
  connect(quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);

  aboutAction = new QAction(tr("&About"), this);
  aboutAction->setObjectName("aboutAction");
  connect(aboutAction, &QAction::triggered, this, [this] { showOnTop(aboutWindow.get()); });
  checkForUpdateAction = new QAction(tr("&Check for update"), this);
  checkForUpdateAction->setObjectName("checkForUpdateAction");
  connect(checkForUpdateAction, &QAction::triggered, this, &Window::checkCurrentDeviceForUpdate);
  bridgeAction = new QAction(tr("&Bridge"), this);
  bridgeAction->setObjectName("bridgeAction");
  connect(bridgeAction, &QAction::triggered, this, [this] { showOnTop(bridgeWindow.get()); });

  tutorialAction = new QAction(tr("&Tutorial"), this);
  tutorialAction->setObjectName("tutorialAction");
  // From the tray the window may be hidden: the tutorial is a pop-up in it, so the window comes first.
  connect(tutorialAction, &QAction::triggered, this, [this] {
    showOnTop(this);
    on_logoButton_clicked();
  });

  changePinAction = new QAction(tr("&Change PIN"), this);
  changePinAction->setObjectName("changePinAction");
  changePinAction->setEnabled(false);
  connect(changePinAction, &QAction::triggered, this, &Window::pinChangeRequested);

  unblockPinAction = new QAction(tr("&Unblock PIN"), this);
  unblockPinAction->setObjectName("unblockPinAction");
  unblockPinAction->setEnabled(false);
  connect(unblockPinAction, &QAction::triggered, this, &Window::pinUnblockRequested);
}

void Window::createTrayIcon() {
  trayIconMenu = new QMenu(this);
  trayIconMenu->setObjectName("trayIconMenu");
  trayIconMenu->addAction(restoreAction);
  trayIconMenu->addAction(logAction);
  trayIconMenu->addAction(bridgeAction);
  trayIconMenu->addSeparator();
  trayIconMenu->addAction(tutorialAction);
  trayIconMenu->addAction(checkForUpdateAction);
  trayIconMenu->addAction(aboutAction);
  trayIconMenu->addSeparator();
  trayIconMenu->addAction(quitAction);

  trayIcon = new QSystemTrayIcon(this);
  trayIcon->setObjectName("trayIcon");
  trayIcon->setContextMenu(trayIconMenu);
  trayIcon->setIcon(QIcon(QStringLiteral(":/res/icon/tray.png")));
  trayIcon->setToolTip(QCoreApplication::applicationName());
}

// The tray menu's entries (but "Restore": the window is there) behind a button in the header.
void Window::createWindowMenu() {
  windowMenu = new QMenu(this);
  windowMenu->setObjectName("windowMenu");
  windowMenu->addAction(logAction);
  windowMenu->addAction(bridgeAction);
  windowMenu->addSeparator();
  windowMenu->addAction(tutorialAction);
  windowMenu->addAction(checkForUpdateAction);
  windowMenu->addAction(aboutAction);
  windowMenu->addSeparator();
  windowMenu->addAction(quitAction);

  auto* button = new QToolButton(ui->logoGroup);
  button->setObjectName("windowMenuButton");
  button->setText(QStringLiteral("\u2630"));
  button->setToolTip(tr("Menu"));
  button->setAccessibleName(tr("Menu"));
  button->setAccessibleDescription(tr("Log, Bridge, Tutorial, Check for update, About and Quit"));
  button->setMinimumSize(36, 36);
  button->setPopupMode(QToolButton::InstantPopup);
  button->setMenu(windowMenu);
  button->setCursor(Qt::PointingHandCursor);
  button->setStyleSheet(QStringLiteral(
      "QToolButton { background-color: rgb(240, 240, 240); color: rgb(60, 60, 60); border: 1px solid rgb(210, 210, "
      "210); border-radius: 4px; font-size: 18px; } QToolButton::menu-indicator { image: none; }"));
  ui->logoLayout->addWidget(button, 0, 3);
  setTabOrder(ui->changeDeviceButton, button);
}

// Said once per user, inside the window: a desktop without a tray cannot keep the program in the background.
void Window::showNoTrayNoticeOnce() {
  if (ApplicationSettings::noTrayNoticeShown()) return;
  auto* notice = new QLabel(ui->logoGroup);
  notice->setObjectName("noTrayNotice");
  notice->setWordWrap(true);
  notice->setStyleSheet(QStringLiteral("color: rgb(60, 60, 60);"));
  notice->setText(
      tr("This desktop has no system tray, so Kelvo Central runs as a window and ends when the window "
         "is closed. A tray extension for the desktop lets it keep running in the background."));
  ui->logoLayout->addWidget(notice, 0, 1);
  ApplicationSettings::setNoTrayNoticeShown(true);
}

void Window::initializeNotifications() {
  DesktopNotifications& notifications = DesktopNotifications::instance();
  notifications.setAppName(QStringLiteral("Kelvo Central"));
  connect(&notifications, &DesktopNotifications::availabilityKnown, this, [](bool available) {
    if (!available) qDebug("Error, your system in not compatible!");
  });
  notifications.initialize();
}

// A reader model without transport shows the pages without hardware; it never changes.
void Window::addTestDevice(const QString& serial) {
  KelvoDevice::Descriptor descriptor;
  descriptor.insert(QStringLiteral("Serial"), serial);
  descriptor.insert(QStringLiteral("MAC"), QStringLiteral("AABBCCDDEEFF"));
  deviceInitialized(new KelvoDevice(descriptor, this));
}

void Window::closeEvent(QCloseEvent* event) {
  if (trayIcon->isVisible()) {
    hide();
    event->ignore();
  }
  // Without a tray nothing would be left to bring the window back.
  if (simpleQuit || !trayAvailable) QCoreApplication::quit();
}

bool Window::eventFilter(QObject* watched, QEvent* event) {
  if (watched == popupShade && event->type() == QEvent::MouseButtonPress) {
    popupClosed(true);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void Window::iconActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) restoreAction->trigger();
}

void Window::deviceInitialized(KelvoDevice* device) {
  auto* view = new KelvoDeviceView(manager, device);
  connect(view, &KelvoDeviceView::debugMessageLogged, logWindow.get(), &LogView::debugMessageLogged);
  connect(view, &KelvoDeviceView::deviceViewFocused, this, &Window::deviceViewFocused);
  connect(view, &KelvoDeviceView::popupOpened, this,
          qOverload<QWidget*, QWidget*, bool, bool, QPoint>(&Window::popupOpened));
  ui->kelvoStack->addWidget(view);
  // An authorised reader keeps the window; otherwise the newest reader shows.
  if (manager == nullptr || manager->authorizedDevices().isEmpty()) {
    ui->kelvoStack->setCurrentWidget(view);
    popupClosed();
  }
}

void Window::deviceRemoved(KelvoDevice* device) {
  const QString name = device->displayName();
  for (PinView* view : {static_cast<PinView*>(pinChangeWindow.get()), static_cast<PinView*>(pinUnblockWindow.get())}) {
    if (view->deviceName() == name) view->hide();
  }
  KelvoDeviceView* page = pageOf(device);
  if (page != nullptr) {
    const int index = ui->kelvoStack->indexOf(page);
    if (ui->kelvoStack->currentIndex() == index) {
      popupClosed();
      ui->kelvoStack->setCurrentIndex(index - 1);
    }
    ui->kelvoStack->removeWidget(page);
    page->deleteLater();
  }
  device->deleteLater();
}

void Window::deviceAuthorized(KelvoDevice* device) {
  KelvoDeviceView* page = pageOf(device);
  if (page == nullptr || ui->kelvoStack->currentWidget() == page) return;
  ui->kelvoStack->setCurrentWidget(page);
  popupClosed();
}

void Window::resetKeyNeeded(const QString& ieee) {
  logWindow->errorOccurred(QStringLiteral("Please reset the keys on your Kelvo %1 device").arg(ieee));
}

void Window::deviceViewFocused() {
  auto* page = qobject_cast<KelvoDeviceView*>(sender());
  popupClosed();
  if (page != nullptr) ui->kelvoStack->setCurrentWidget(page);
  show();
}

void Window::deviceSelected(const QString& deviceName) {
  for (int index = 0; index < ui->kelvoStack->count(); ++index) {
    auto* page = qobject_cast<KelvoDeviceView*>(ui->kelvoStack->widget(index));
    if (page != nullptr && page->device()->displayName() == deviceName) {
      ui->kelvoStack->setCurrentIndex(index);
      break;
    }
  }
  if (!popupSticky) popupClosed();
}

KelvoDeviceView* Window::pageOf(KelvoDevice* device) const {
  for (int index = 0; index < ui->kelvoStack->count(); ++index) {
    auto* page = qobject_cast<KelvoDeviceView*>(ui->kelvoStack->widget(index));
    if (page != nullptr && page->device() == device) return page;
  }
  return nullptr;
}

KelvoDevice* Window::currentDevice() const {
  auto* page = qobject_cast<KelvoDeviceView*>(ui->kelvoStack->currentWidget());
  return page != nullptr ? page->device() : nullptr;
}

void Window::checkCurrentDeviceForUpdate() {
  KelvoDevice* device = currentDevice();
  if (device != nullptr) emit device->deviceUpdateChecking(device);
}

void Window::popupOpened(QWidget* posWidget, QWidget* content, bool fixedWidth, bool downwards, QPoint offset) {
  if (popupShade == nullptr || content == nullptr) return;
  deletePopupFrames();
  popupSticky = content->inherits("TutorialView");

  auto* frame = new QWidget(popupShade);
  frame->setObjectName(kPopupFrameName);
  frame->setAttribute(Qt::WA_StyledBackground);
  // Clicks inside the frame must not reach the shade, which would close the pop-up.
  frame->setAttribute(Qt::WA_NoMousePropagation);
  frame->setStyleSheet(downwards ? kPopupFrameDownwardsStyle : kPopupFrameUpwardsStyle);
  if (fixedWidth) {
    frame->setMaximumWidth(kFixedPopupMaxWidth);
    frame->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  } else {
    frame->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  }
  auto* frameLayout = new QGridLayout(frame);
  frameLayout->setContentsMargins(kPopupSideMargin, downwards ? kPopupSideMargin : kPopupTailMargin, kPopupSideMargin,
                                  downwards ? kPopupTailMargin : kPopupSideMargin);
  frameLayout->addWidget(content, 0, 0);
  connectPopupContent(content);

  popupShade->show();
  popupShade->raise();
  frame->adjustSize();
  placePopupFrame(frame, posWidget, downwards, offset);
  frame->show();
  // Keys go to the pop-up while it is open (a pop-up may name the widget that takes them as its focus proxy).
  content->setFocus(Qt::PopupFocusReason);
}

void Window::popupOpened(QWidget* posWidget, QWidget* content, bool fixedWidth, bool downwards) {
  popupOpened(posWidget, content, fixedWidth, downwards, QPoint(0, 0));
}

void Window::popupOpened(QWidget* posWidget, QWidget* content, bool fixedWidth) {
  popupOpened(posWidget, content, fixedWidth, false, QPoint(0, 0));
}

void Window::popupClosed(bool isGlobal) {
  if (popupShade == nullptr) return;
  if (popupSticky && !isGlobal) return;
  deletePopupFrames();
  popupSticky = false;
  popupShade->hide();
}

void Window::popupClosed() { popupClosed(false); }

// A pop-up's own signal may be what closes it, so frames are detached at once and deleted later.
void Window::deletePopupFrames() {
  const QList<QWidget*> frames = popupShade->findChildren<QWidget*>(kPopupFrameName, Qt::FindDirectChildrenOnly);
  for (QWidget* frame : frames) {
    frame->hide();
    frame->setParent(nullptr);
    frame->deleteLater();
  }
}

// Each kind of content closes its pop-up in its own way; the kinds are known by class name so that the shell does
// not depend on the views that later fill it.
void Window::connectPopupContent(QWidget* content) {
  if (content->inherits("DevicesPage")) {
    connect(content, SIGNAL(deviceSelected(QString)), this, SLOT(deviceSelected(QString)));
  } else if (content->inherits("WorkingTimeRangesPage")) {
    connect(content, SIGNAL(finished()), this, SLOT(popupClosed()));
  } else if (content->inherits("UpdateDevicePage")) {
    connect(content, SIGNAL(updateClicked(KelvoDevice*)), this, SLOT(prepareFirmwareUpdate(KelvoDevice*)));
    connect(content, SIGNAL(cancelClicked()), this, SLOT(popupClosed()));
  } else if (content->inherits("TutorialView")) {
    connect(content, SIGNAL(requestClose(bool)), this, SLOT(popupClosed(bool)));
  }
}

// Downwards the bubble sits above its anchor with its tail on the anchor's top centre; otherwise it hangs below
// the anchor's bottom centre.
void Window::placePopupFrame(QWidget* frame, QWidget* posWidget, bool downwards, QPoint offset) {
  QPoint anchor(0, 0);
  if (posWidget != nullptr) {
    const QPoint local(posWidget->width() / 2, downwards ? 0 : posWidget->height());
    anchor = isAncestorOf(posWidget) ? popupShade->mapFrom(this, posWidget->mapTo(this, local))
                                     : popupShade->mapFromGlobal(posWidget->mapToGlobal(local));
  }
  const QSize size = frame->size();
  const int x = anchor.x() - size.width() / 2;
  const int y = downwards ? anchor.y() - size.height() : anchor.y();
  // A frame wider than the room beside its anchor (the tutorial under the logo) stays inside the window: its tail
  // then points a little off the anchor, but nothing of it is cut off.
  const QPoint wanted = QPoint(x, y) + offset;
  frame->move(qBound(0, wanted.x(), qMax(0, popupShade->width() - size.width())),
              qBound(0, wanted.y(), qMax(0, popupShade->height() - size.height())));
}

// The update page's "Update": the manager takes the reader's available firmware as the image to flash.
void Window::prepareFirmwareUpdate(KelvoDevice* device) {
  popupClosed(true);
  if (manager != nullptr && device != nullptr) emit manager->prepareFirmwareUpdateRequested(device);
}

// The update is prepared: the dialog follows the run the manager now starts.
void Window::updateFirmware(KelvoDevice* device) {
  if (manager == nullptr || device == nullptr) return;
  const std::shared_ptr<trevalon::Firmware> firmware = device->availableFirmware();
  const bool overTheAir = firmware && firmware->methodPattern && firmware->methodPattern->matchesWhole("ble");
  updateFirmwareWindow = std::make_unique<UpdateFirmwareView>(manager, device, overTheAir);
  updateFirmwareWindow->show();
  updateFirmwareWindow->raise();
  emit manager->updateFirmwareRequested();
}

void Window::pinChangeRequested() { openPinView(pinChangeWindow.get()); }

void Window::pinUnblockRequested() { openPinView(pinUnblockWindow.get()); }

void Window::openPinView(PinView* view) {
  KelvoDevice* device = currentDevice();
  if (device == nullptr) return;
  view->setDeviceName(device->displayName());
  view->show();
  view->raise();
  view->activateWindow();
}

// The tray menu keeps its shape; the settings and the card's PIN are offered on the page itself. The "No Device"
// page has no card, so only the settings.
QMenu* Window::createPageMenu() {
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("pageMenu"));
  menu->addAction(settingsAction);
  if (currentDevice() != nullptr) {
    menu->addSeparator();
    menu->addAction(changePinAction);
    menu->addAction(unblockPinAction);
  }
  return menu;
}

void Window::pageMenuRequested(const QPoint& position) {
  QMenu* menu = createPageMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(ui->kelvoStack->mapToGlobal(position));
}

void Window::on_changeDeviceButton_clicked() {
  const QList<KelvoDevice*> devices = manager != nullptr ? manager->initializedDevices() : QList<KelvoDevice*>();
  popupOpened(ui->changeDeviceButton, new DevicesPage(devices, currentDevice()), true, false, kDeviceListOffset);
}

// The card's PIN is reached through the reader, so the simulated test reader and the "No Device" page offer none.
void Window::on_kelvoStack_currentChanged(int index) {
  if (changePinAction == nullptr) return;
  auto* page = qobject_cast<KelvoDeviceView*>(ui->kelvoStack->widget(index));
  const bool withTransport = page != nullptr && page->device()->hasTransport();
  changePinAction->setEnabled(withTransport);
  unblockPinAction->setEnabled(withTransport);
}

// The tutorial's module is loaded here, the first time; without it there is nothing to show (the loader says why).
void Window::on_logoButton_clicked() {
  QWidget* tutorial = TutorialLoader::create();
  if (tutorial == nullptr) return;
  popupOpened(ui->logo, tutorial, false, false, kTutorialOffset);
}
