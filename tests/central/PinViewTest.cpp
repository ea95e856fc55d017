// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include "Window.h"
#include "devices/KelvoDevice.h"
#include "views/PinChangeView.h"
#include "views/PinUnblockView.h"

namespace {

// Fills a PIN window as a user would and reads what it shows.
class Form {
 public:
  explicit Form(PinView& view) : view(view) {}

  void fill(const QString& first, const QString& fresh, const QString& confirmation) {
    edit("firstEdit")->setText(first);
    edit("newPinEdit")->setText(fresh);
    edit("confirmPinEdit")->setText(confirmation);
  }
  void press() { QTest::mouseClick(button(), Qt::LeftButton); }
  QPushButton* button() const { return view.findChild<QPushButton*>(); }
  QString error() const { return shown("errorLabel"); }
  QString status() const { return shown("statusLabel"); }

 private:
  QLineEdit* edit(const char* name) const { return view.findChild<QLineEdit*>(QLatin1String(name)); }
  // A label's text as the user sees it: none while it is hidden.
  QString shown(const char* name) const {
    auto* label = view.findChild<QLabel*>(QLatin1String(name));
    return label->isVisibleTo(&view) ? label->text() : QString();
  }
  PinView& view;
};

class PinChangeViewTest : public ::testing::Test {
 protected:
  void SetUp() override { view.setDeviceName(QStringLiteral("Kelvo 4711")); }

  PinChangeView view;
  Form form{view};
  QSignalSpy requests{&view, &PinChangeView::pinChangeRequested};
};

struct InputCase {
  const char* first;
  const char* fresh;
  const char* confirmation;
  const char* error;
};

TEST_F(PinChangeViewTest, IncompleteOrMismatchedInputIsRefusedBeforeAnythingIsSent) {
  const InputCase cases[] = {
      {"", "654321", "654321", "Please enter current PIN"},
      {"123456", "", "", "Please enter new PIN"},
      {"123456", "654321", "", "New PINs do not match"},
      {"123456", "654321", "654322", "New PINs do not match"},
  };
  for (const InputCase& given : cases) {
    form.fill(given.first, given.fresh, given.confirmation);
    form.press();
    EXPECT_EQ(form.error(), QString::fromUtf8(given.error)) << given.first << "/" << given.fresh;
    EXPECT_TRUE(form.status().isEmpty());
  }
  EXPECT_EQ(requests.count(), 0);
}

TEST_F(PinChangeViewTest, ARequestShowsProgressAndEachOutcomeItsText) {
  const std::pair<void (PinChangeView::*)(), const char*> outcomes[] = {
      {&PinChangeView::pinSetBlocked, "PIN blocked"},
      {&PinChangeView::pinSetInvalid, "Invalid new PIN"},
      {&PinChangeView::pinSetFailed, "Failed to change PIN"},
  };
  for (const auto& [outcome, text] : outcomes) {
    form.fill("123456", "654321", "654321");
    form.press();
    EXPECT_EQ(form.status(), QStringLiteral("Changing..."));
    EXPECT_FALSE(form.button()->isEnabled());
    (view.*outcome)();
    EXPECT_EQ(form.error(), QString::fromUtf8(text));
    EXPECT_TRUE(form.status().isEmpty());
    EXPECT_TRUE(form.button()->isEnabled());
  }
  ASSERT_EQ(requests.count(), 3);
  EXPECT_EQ(requests.at(0), (QVariantList{"Kelvo 4711", "123456", "654321"}));

  form.press();
  view.pinSetSuccess();
  EXPECT_EQ(form.status(), QStringLiteral("PIN successfully changed"));
  EXPECT_TRUE(form.error().isEmpty());
}

TEST_F(PinChangeViewTest, ARejectedPinIsNotSentAgain) {
  form.fill("111111", "654321", "654321");
  form.press();
  view.pinSetIncorrect();
  EXPECT_EQ(form.error(), QStringLiteral("Incorrect PIN"));

  form.press();
  EXPECT_EQ(form.error(), QStringLiteral("Incorrect PIN"));
  EXPECT_EQ(requests.count(), 1);

  form.fill("123456", "654321", "654321");
  form.press();
  EXPECT_EQ(requests.count(), 2);
}

// Both windows hear every outcome; only the one whose request is out acts on it.
TEST(PinViews, OnlyTheWindowThatAskedActsOnAnOutcome) {
  PinChangeView change;
  PinUnblockView unblock;
  Form changeForm(change);
  Form unblockForm(unblock);
  unblock.setDeviceName(QStringLiteral("Kelvo 4711"));
  QSignalSpy requests(&unblock, &PinUnblockView::pinUnblockRequested);
  unblockForm.fill("12345678", "654321", "654321");
  unblockForm.press();
  EXPECT_EQ(unblockForm.status(), QStringLiteral("Unblocking..."));
  for (PinView* view : {static_cast<PinView*>(&change), static_cast<PinView*>(&unblock)}) view->pinSetIncorrect();
  EXPECT_EQ(unblockForm.error(), QStringLiteral("Incorrect PUK"));
  EXPECT_TRUE(changeForm.error().isEmpty());

  unblockForm.fill("87654321", "654321", "654321");
  unblockForm.press();
  unblock.pinSetSuccess();
  EXPECT_EQ(unblockForm.status(), QStringLiteral("PIN successfully unblocked"));
  unblockForm.fill("", "654321", "654321");
  unblockForm.press();
  EXPECT_EQ(unblockForm.error(), QStringLiteral("Please enter PUK"));
  unblockForm.fill("87654321", "654321", "654321");
  unblockForm.press();
  unblock.pinSetFailed();
  EXPECT_EQ(unblockForm.error(), QStringLiteral("Failed to unblock PIN"));
  EXPECT_EQ(requests.count(), 3);
}

QStringList actionNames(QMenu* menu) {
  QStringList names;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) names.append(action->objectName());
  }
  return names;
}

// The tray menu has no room for them, so the page offers the settings and the card's PIN.
TEST(PinWindowMenus, ThePageOffersSettingsAndThePinOfItsReader) {
  Window window(true);
  std::unique_ptr<QMenu> noDevice(window.createPageMenu());
  EXPECT_EQ(actionNames(noDevice.get()), QStringList{"settingsAction"});

  window.addTestDevice(QStringLiteral("4711"));
  std::unique_ptr<QMenu> devicePage(window.createPageMenu());
  EXPECT_EQ(actionNames(devicePage.get()), (QStringList{"settingsAction", "changePinAction", "unblockPinAction"}));
  // The test reader has no transport and so no card to reach.
  EXPECT_FALSE(devicePage->actions().last()->isEnabled());

  QMetaObject::invokeMethod(&window, "pinChangeRequested");
  EXPECT_TRUE(window.pinChangeView()->isVisible());
  EXPECT_EQ(window.pinChangeView()->deviceName(), QStringLiteral("Kelvo 4711"));
}

TEST(PinWindowMenus, APinWindowClosesWhenItsReaderGoes) {
  Window window(true);
  window.addTestDevice(QStringLiteral("4711"));
  QMetaObject::invokeMethod(&window, "pinUnblockRequested");
  ASSERT_TRUE(window.pinUnblockView()->isVisible());
  KelvoDevice* shown = window.findChild<KelvoDevice*>();
  ASSERT_NE(shown, nullptr);
  QMetaObject::invokeMethod(&window, "deviceRemoved", Q_ARG(KelvoDevice*, shown));
  EXPECT_FALSE(window.pinUnblockView()->isVisible());
}

TEST(PinViews, GermanTextsCoverBothWindows) {
  QTranslator translator;
  ASSERT_TRUE(translator.load("kelvocentral_de_DE", ":/i18n"));
  QCoreApplication::installTranslator(&translator);
  {
    PinChangeView change;
    PinUnblockView unblock;
    EXPECT_EQ(change.windowTitle(), QString::fromUtf8("PIN ändern"));
    EXPECT_EQ(change.findChild<QPushButton*>()->text(), QString::fromUtf8("Ändern"));
    EXPECT_EQ(unblock.windowTitle(), QStringLiteral("PIN entsperren"));
    EXPECT_EQ(unblock.findChild<QPushButton*>()->text(), QStringLiteral("Entsperren"));
    Form form(change);
    form.fill("123456", "1", "2");
    form.press();
    EXPECT_EQ(form.error(), QString::fromUtf8("Die neuen PINs stimmen nicht überein"));
    form.fill("", "1", "1");
    form.press();
    EXPECT_EQ(form.error(), QStringLiteral("Bitte geben Sie die aktuelle PIN ein"));
  }
  QCoreApplication::removeTranslator(&translator);
}

}  // namespace
