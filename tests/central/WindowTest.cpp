// SPDX-License-Identifier: Apache-2.0
#include "Window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include "LogView.h"
#include "PopupContents.h"
#include "SettingsView.h"
#include "devices/KelvoDevice.h"

namespace {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  QWidget* shade() { return window.findChild<QWidget*>("popupShade"); }
  QList<QWidget*> frames() { return shade()->findChildren<QWidget*>("popupFrame", Qt::FindDirectChildrenOnly); }
  QWidget* anchor() { return window.findChild<QPushButton*>("changeDeviceButton"); }

  void open(QWidget* content, bool fixedWidth = true, bool downwards = true, QPoint offset = QPoint(),
            QWidget* at = nullptr) {
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "popupOpened", Q_ARG(QWidget*, at != nullptr ? at : anchor()),
                                          Q_ARG(QWidget*, content), Q_ARG(bool, fixedWidth), Q_ARG(bool, downwards),
                                          Q_ARG(QPoint, offset)));
  }
  void close(bool isGlobal) { ASSERT_TRUE(QMetaObject::invokeMethod(&window, "popupClosed", Q_ARG(bool, isGlobal))); }
  static void deleteDeferred() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  Window window{false};
};

TEST_F(WindowTest, FormHasItsFixedSizeNamesAndStyles) {
  EXPECT_EQ(window.size(), QSize(982, 688));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
  EXPECT_EQ(window.styleSheet(), "background-color: rgb(255, 255, 255);");
  EXPECT_NE(window.findChild<QWidget*>("logoGroup"), nullptr);
  EXPECT_NE(window.findChild<QPushButton*>("logoButton"), nullptr);
  const QPixmap logo = window.findChild<QLabel*>("logo")->pixmap(Qt::ReturnByValue);
  EXPECT_FALSE(logo.isNull());
  EXPECT_FALSE(window.findChild<QLabel*>("shadowTop")->pixmap(Qt::ReturnByValue).isNull());
  auto* stack = window.findChild<QStackedWidget*>("kelvoStack");
  ASSERT_NE(stack, nullptr);
  EXPECT_EQ(stack->styleSheet(), "background-color: rgb(245, 245, 245);");
  EXPECT_EQ(stack->currentWidget()->objectName(), "infoPage");
  auto* noDevice = stack->currentWidget()->findChild<QLabel*>();
  ASSERT_NE(noDevice, nullptr);
  EXPECT_EQ(noDevice->text(), "No Device");
  EXPECT_EQ(noDevice->styleSheet(), "color: rgb(196, 18, 0);");
}

TEST_F(WindowTest, ChangeDeviceButtonFontIsInPixelsSoItDoesNotGrowWithDpi) {
  auto* button = window.findChild<QPushButton*>("changeDeviceButton");
  EXPECT_EQ(button->text(), "Change Kelvo");
  EXPECT_EQ(button->font().pointSize(), -1);
  EXPECT_EQ(button->font().pixelSize(), 16);  // 12 pt
}

TEST_F(WindowTest, TrayMenuHasItsEntriesInOrder) {
  auto* menu = window.findChild<QMenu*>("trayIconMenu");
  ASSERT_NE(menu, nullptr);
  QStringList texts;
  for (QAction* action : menu->actions()) texts << (action->isSeparator() ? "---" : action->text());
  EXPECT_EQ(texts, QStringList({"&Restore", "&Log", "&Bridge", "---", "&Tutorial", "&Check for update", "&About", "---",
                                "&Quit"}));
  auto* tray = window.findChild<QSystemTrayIcon*>("trayIcon");
  ASSERT_NE(tray, nullptr);
  EXPECT_EQ(tray->contextMenu(), menu);
  EXPECT_FALSE(tray->icon().isNull());
}

// The logo opens the tutorial: a screen reader names it, and Tab reaches it before "Change Kelvo".
TEST_F(WindowTest, TheLogoIsNamedAndComesFirstInTheFocusChain) {
  auto* logo = window.findChild<QPushButton*>("logoButton");
  QAccessibleInterface* interface = QAccessible::queryAccessibleInterface(logo);
  ASSERT_NE(interface, nullptr);
  EXPECT_EQ(interface->text(QAccessible::Name), "Tutorial");
  EXPECT_EQ(interface->text(QAccessible::Description), "Opens the tutorial");
  EXPECT_EQ(logo->nextInFocusChain(), window.findChild<QPushButton*>("changeDeviceButton"));
}

// Without a tray the header's menu button offers the tray menu's entries (but Restore), named for screen readers.
TEST(WindowWithoutTrayTest, TheHeaderMenuButtonOffersTheTrayEntries) {
  Window window(false, nullptr, false);
  auto* button = window.findChild<QToolButton*>("windowMenuButton");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), "Menu");
  QStringList texts;
  for (QAction* action : button->menu()->actions()) texts << (action->isSeparator() ? "---" : action->text());
  EXPECT_EQ(texts, QStringList({"&Log", "&Bridge", "---", "&Tutorial", "&Check for update", "&About", "---", "&Quit"}));
  EXPECT_FALSE(window.findChild<QSystemTrayIcon*>("trayIcon")->isVisible());
}

TEST_F(WindowTest, PinActionsExistOutsideTheMenuAndStartDisabled) {
  auto* menu = window.findChild<QMenu*>("trayIconMenu");
  for (const char* name : {"changePinAction", "unblockPinAction", "settingsAction"}) {
    auto* action = window.findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    EXPECT_FALSE(menu->actions().contains(action)) << name;
  }
  EXPECT_EQ(window.findChild<QAction*>("changePinAction")->text(), "&Change PIN");
  EXPECT_EQ(window.findChild<QAction*>("unblockPinAction")->text(), "&Unblock PIN");
  EXPECT_FALSE(window.findChild<QAction*>("changePinAction")->isEnabled());
  EXPECT_FALSE(window.findChild<QAction*>("unblockPinAction")->isEnabled());
  EXPECT_TRUE(window.findChild<QAction*>("settingsAction")->isEnabled());
}

TEST_F(WindowTest, ActionsShowTheirWindows) {
  window.findChild<QAction*>("logAction")->trigger();
  EXPECT_TRUE(window.logView()->isVisible());
  window.findChild<QAction*>("settingsAction")->trigger();
  EXPECT_TRUE(window.settingsView()->isVisible());
  window.hide();
  window.findChild<QAction*>("restoreAction")->trigger();
  EXPECT_TRUE(window.isVisible());
}

TEST_F(WindowTest, ClickingTheTrayIconRestoresTheWindow) {
  auto* tray = window.findChild<QSystemTrayIcon*>("trayIcon");
  window.hide();
  emit tray->activated(QSystemTrayIcon::Context);
  EXPECT_FALSE(window.isVisible());
  emit tray->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(window.isVisible());
  window.hide();
  emit tray->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(window.isVisible());
}

TEST_F(WindowTest, ResetKeyNeededIsAnErrorLineInTheLog) {
  ASSERT_TRUE(QMetaObject::invokeMethod(&window, "resetKeyNeeded", Q_ARG(QString, "AABBCCDDEEFF")));
  const QString text = window.logView()->findChild<QTextEdit*>("logText")->toPlainText();
  EXPECT_TRUE(text.endsWith("ERROR: Please reset the keys on your Kelvo AABBCCDDEEFF device")) << text.toStdString();
}

TEST_F(WindowTest, ShadeCoversTheWholeWindowAndStartsHidden) {
  ASSERT_NE(shade(), nullptr);
  EXPECT_FALSE(shade()->isVisible());
  EXPECT_EQ(shade()->styleSheet(), "QWidget#popupShade {  background-color: rgba(0, 0, 0, 128);}");
  open(new QLabel("content"));
  EXPECT_TRUE(shade()->isVisible());
  EXPECT_EQ(shade()->geometry(), window.rect());
}

TEST_F(WindowTest, OpeningASecondPopupReplacesTheFirst) {
  QPointer<QLabel> first = new QLabel("first");
  open(first);
  ASSERT_EQ(frames().size(), 1);
  QPointer<QLabel> second = new QLabel("second");
  open(second);
  ASSERT_EQ(frames().size(), 1);
  EXPECT_TRUE(frames().first()->isAncestorOf(second));
  deleteDeferred();
  EXPECT_TRUE(first.isNull());
  EXPECT_FALSE(second.isNull());
}

TEST_F(WindowTest, FrameStyleMarginsAndWidthFollowTheRequest) {
  open(new QLabel("a rather long text that would like to be wider than the fixed pop-up width allows"), true, true);
  QWidget* frame = frames().first();
  EXPECT_TRUE(frame->styleSheet().contains("url(:/res/gui/infoblase-downwards.png)"));
  EXPECT_TRUE(frame->styleSheet().contains("border-width: 30px 200px 30px 30px;"));
  EXPECT_EQ(frame->maximumWidth(), 260);
  EXPECT_LE(frame->width(), 260);
  EXPECT_EQ(frame->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
  EXPECT_EQ(frame->layout()->contentsMargins(), QMargins(20, 20, 20, 45));

  open(new QLabel("below"), false, false);
  frame = frames().first();
  EXPECT_TRUE(frame->styleSheet().contains("url(:/res/gui/infoblase-upwards.png)"));
  EXPECT_EQ(frame->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
  EXPECT_EQ(frame->layout()->contentsMargins(), QMargins(20, 45, 20, 20));
}

TEST_F(WindowTest, FrameIsCentredOnItsAnchorAboveOrBelowIt) {
  // Above: an anchor with room above it for the frame (the page below the header).
  QWidget* page = window.findChild<QWidget*>("kelvoStack");
  const QPoint top = page->mapTo(&window, QPoint(page->width() / 2, 0));
  const QPoint bottom = anchor()->mapTo(&window, QPoint(anchor()->width() / 2, anchor()->height()));

  open(new QLabel("above"), true, true, QPoint(), page);
  QRect frame = frames().first()->geometry();
  EXPECT_EQ(frame.y() + frame.height(), top.y());
  EXPECT_EQ(frame.x() + frame.width() / 2, top.x());

  open(new QLabel("below"), true, false, QPoint(-100, 0));
  frame = frames().first()->geometry();
  EXPECT_EQ(frame.y(), bottom.y());
  EXPECT_EQ(frame.x() + frame.width() / 2, bottom.x() - 100);
}

TEST_F(WindowTest, AFrameWiderThanTheRoomBesideItsAnchorStaysInsideTheWindow) {
  auto* wide = new QLabel("wide");
  wide->setFixedSize(760, 480);
  ASSERT_TRUE(QMetaObject::invokeMethod(&window, "popupOpened", Q_ARG(QWidget*, window.findChild<QLabel*>("logo")),
                                        Q_ARG(QWidget*, wide), Q_ARG(bool, false), Q_ARG(bool, false),
                                        Q_ARG(QPoint, QPoint(-20, 0))));
  const QRect frame = frames().first()->geometry();
  EXPECT_EQ(frame.x(), 0);
  EXPECT_TRUE(window.rect().contains(frame))
      << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
}

TEST_F(WindowTest, StickyTutorialSurvivesEveryCloseButAGlobalOne) {
  auto* tutorial = new TutorialView();
  open(tutorial, false, false);
  close(false);
  ASSERT_TRUE(QMetaObject::invokeMethod(&window, "popupClosed"));
  ASSERT_TRUE(QMetaObject::invokeMethod(&window, "deviceSelected", Q_ARG(QString, "Kelvo 1234567890")));
  EXPECT_EQ(frames().size(), 1);
  EXPECT_TRUE(shade()->isVisible());

  QTest::mouseClick(shade(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(frames().isEmpty());
  EXPECT_FALSE(shade()->isVisible());
}

TEST_F(WindowTest, TutorialClosesItselfThroughItsRequest) {
  auto* tutorial = new TutorialView();
  open(tutorial, false, false);
  emit tutorial->requestClose(true);
  EXPECT_TRUE(frames().isEmpty());
  EXPECT_FALSE(shade()->isVisible());
}

TEST_F(WindowTest, ShadeClickClosesAnOrdinaryPopupButAClickInsideTheFrameDoesNot) {
  auto* content = new QLabel("content");
  open(content);
  QWidget* frame = frames().first();
  QTest::mouseClick(frame, Qt::LeftButton, Qt::NoModifier, QPoint(frame->width() / 2, 5));
  EXPECT_EQ(frames().size(), 1);
  QTest::mouseClick(shade(), Qt::LeftButton, Qt::NoModifier, QPoint(5, shade()->height() - 5));
  EXPECT_TRUE(frames().isEmpty());
  EXPECT_FALSE(shade()->isVisible());
  // A later non-global close after everything is closed is harmless.
  close(false);
}

TEST_F(WindowTest, ContentsCloseTheirPopupByTheirOwnSignals) {
  KelvoDevice device({{QStringLiteral("Serial"), QStringLiteral("5000000001")}});
  auto* ranges = new WorkingTimeRangesPage(&device);
  open(ranges, false, true);
  emit ranges->finished();
  EXPECT_TRUE(frames().isEmpty());

  auto* devices = new DevicesPage({&device}, &device);
  open(devices, true, false);
  emit devices->deviceSelected(QString());
  EXPECT_TRUE(frames().isEmpty());
  EXPECT_FALSE(shade()->isVisible());
  deleteDeferred();
}

// Runs the event loop until the application quits or the guard fires; true when it quit.
bool quitsWithin(int guardMs, const std::function<void()>& action) {
  bool guardFired = false;
  QTimer::singleShot(0, action);
  QTimer::singleShot(guardMs, [&guardFired] {
    guardFired = true;
    QCoreApplication::quit();
  });
  QApplication::exec();
  return !guardFired;
}

TEST(WindowCloseTest, ClosingHidesIntoTheTrayAndTheApplicationGoesOn) {
  Window window(false);
  window.show();
  auto* tray = window.findChild<QSystemTrayIcon*>("trayIcon");
  ASSERT_TRUE(tray->isVisible());
  EXPECT_FALSE(quitsWithin(300, [&window] { window.close(); }));
  EXPECT_FALSE(window.isVisible());
}

TEST(WindowCloseTest, SimpleQuitEndsTheApplication) {
  Window window(true);
  window.show();
  EXPECT_TRUE(quitsWithin(30000, [&window] { window.close(); }));
  EXPECT_FALSE(window.isVisible());
}

TEST(WindowTranslationTest, GermanTranslationCoversTheWindowAndTheMenu) {
  QTranslator translator;
  ASSERT_TRUE(translator.load("kelvocentral_de_DE", ":/i18n"));
  QCoreApplication::installTranslator(&translator);
  {
    Window window(false);
    EXPECT_EQ(window.findChild<QStackedWidget*>("kelvoStack")->currentWidget()->findChild<QLabel*>()->text(),
              QString::fromUtf8("Kein Gerät"));
    EXPECT_EQ(window.findChild<QPushButton*>("changeDeviceButton")->text(), "Kelvo wechseln");
    EXPECT_EQ(window.findChild<QAction*>("quitAction")->text(), "&Beenden");
    EXPECT_EQ(window.logView()->windowTitle(), "Protokoll");
    EXPECT_EQ(window.settingsView()->windowTitle(), "Einstellungen");
  }
  QCoreApplication::removeTranslator(&translator);
}

}  // namespace
