#include "Window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QtMath>

#include "DesktopNotifications.h"
#include "LogView.h"
#include "SettingsView.h"
#include "ui_Window.h"

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
// The bubble's tail needs room on the side it points to.
constexpr int kPopupSideMargin = 20;
constexpr int kPopupTailMargin = 45;

}  // namespace

Window::Window(bool simpleQuit, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Window>()), simpleQuit(simpleQuit) {
  ui->setupUi(this);
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowMaximizeButtonHint);
  convertChangeDeviceButtonFont();

  createPopupShade();

  logWindow = std::make_unique<LogView>();
  settingsWindow = std::make_unique<SettingsView>();

  createActions();
  createTrayIcon();
  connect(trayIcon, &QSystemTrayIcon::activated, this, &Window::iconActivated);
  trayIcon->setVisible(true);

  initializeNotifications();
}

Window::~Window() { ui.reset(); }

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

  // The about view, the Bridge view and the update check arrive with the devices; their actions exist already so
  // the menu keeps its shape.
  aboutAction = new QAction(tr("&About"), this);
  aboutAction->setObjectName("aboutAction");
  checkForUpdateAction = new QAction(tr("&Check for update"), this);
  checkForUpdateAction->setObjectName("checkForUpdateAction");
  bridgeAction = new QAction(tr("&Bridge"), this);
  bridgeAction->setObjectName("bridgeAction");

  tutorialAction = new QAction(tr("&Tutorial"), this);
  tutorialAction->setObjectName("tutorialAction");
  connect(tutorialAction, &QAction::triggered, this, &Window::on_logoButton_clicked);

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

void Window::initializeNotifications() {
  DesktopNotifications& notifications = DesktopNotifications::instance();
  notifications.setAppName(QStringLiteral("Kelvo Central"));
  if (!notifications.initialize()) qDebug("Error, your system in not compatible!");
}

void Window::addTestDevice(const QString& serial) {
  // The simulated reader is a plain device model without transport; it is added with the device pages.
  qInfo("Test device %s requested", qPrintable(serial));
}

void Window::closeEvent(QCloseEvent* event) {
  if (trayIcon->isVisible()) {
    hide();
    event->ignore();
  }
  if (simpleQuit) QCoreApplication::quit();
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

// The device slots below are wired by the device manager and the device pages.
void Window::deviceInitialized(KelvoDevice* device) { Q_UNUSED(device); }

void Window::deviceRemoved(KelvoDevice* device) { Q_UNUSED(device); }

void Window::deviceAuthorized(KelvoDevice* device) { Q_UNUSED(device); }

void Window::resetKeyNeeded(QString ieee) {
  logWindow->errorOccurred(QStringLiteral("Please reset the keys on your Kelvo %1 device").arg(ieee));
}

void Window::deviceViewFocused() {}

void Window::deviceSelected(QString deviceName) {
  Q_UNUSED(deviceName);
  if (!popupSticky) popupClosed();
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
  frameLayout->setContentsMargins(kPopupSideMargin, downwards ? kPopupSideMargin : kPopupTailMargin,
                                  kPopupSideMargin, downwards ? kPopupTailMargin : kPopupSideMargin);
  frameLayout->addWidget(content, 0, 0);
  connectPopupContent(content);

  popupShade->show();
  popupShade->raise();
  frame->adjustSize();
  placePopupFrame(frame, posWidget, downwards, offset);
  frame->show();
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
  frame->move(QPoint(x, y) + offset);
}

void Window::prepareFirmwareUpdate(KelvoDevice* device) { Q_UNUSED(device); }

void Window::updateFirmware(KelvoDevice* device) { Q_UNUSED(device); }

void Window::pinChangeRequested() {}

void Window::pinUnblockRequested() {}

void Window::on_changeDeviceButton_clicked() {}

// PIN changes need a device page whose reader has a transport; until the device pages exist every page is the
// "No Device" page.
void Window::on_kelvoStack_currentChanged(int index) {
  Q_UNUSED(index);
  if (changePinAction == nullptr) return;
  changePinAction->setEnabled(false);
  unblockPinAction->setEnabled(false);
}

void Window::on_logoButton_clicked() {}
