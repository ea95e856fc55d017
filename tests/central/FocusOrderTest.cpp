// SPDX-License-Identifier: Apache-2.0
// Tab walks every page in reading order: each control Tab reaches next lies further down, or on the same row
// further right, than the one before. (The reader's page, whose turn arrow sits on its picture, has its own test.)
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <memory>

#include "LogView.h"
#include "ScriptedReaderDevice.h"
#include "SettingsView.h"
#include "views/AdvertisingSettingPage.h"
#include "views/BacklightSettingPage.h"
#include "views/BatterySettingPage.h"
#include "views/BuzzerSettingPage.h"
#include "views/DisplaySettingPage.h"
#include "views/PinChangeView.h"
#include "views/PinUnblockView.h"
#include "views/SignalStrngSettingPage.h"
#include "views/UpdateDevicePage.h"
#include "views/WorkingTimeRangesPage.h"

namespace {

// The controls Tab reaches, in the order it reaches them, starting from the page. A control's own parts (a spin
// box's line edit) count as the control.
QList<QWidget*> tabChain(QWidget* page) {
  QList<QWidget*> chain;
  for (QWidget* widget = page->nextInFocusChain(); widget != page && chain.size() < 200;
       widget = widget->nextInFocusChain()) {
    if ((widget->focusPolicy() & Qt::TabFocus) == 0 || !widget->isVisibleTo(page) || !page->isAncestorOf(widget)) {
      continue;
    }
    const bool partOfAnother =
        std::any_of(chain.begin(), chain.end(), [widget](QWidget* control) { return control->isAncestorOf(widget); });
    if (!partOfAnother) chain << widget;
  }
  return chain;
}

QString describe(QWidget* widget, QWidget* page) {
  const QPoint at = widget->mapTo(page, QPoint(0, 0));
  return QStringLiteral("%1(%2,%3)")
      .arg(widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                          : widget->objectName())
      .arg(at.x())
      .arg(at.y());
}

// Reading order with a row's tolerance: controls whose middles are within half a control's height share a row.
bool readsAfter(QWidget* previous, QWidget* next, QWidget* page) {
  const QRect a(previous->mapTo(page, QPoint(0, 0)), previous->size());
  const QRect b(next->mapTo(page, QPoint(0, 0)), next->size());
  const int tolerance = std::min(a.height(), b.height()) / 2;
  if (b.center().y() > a.center().y() + tolerance) return true;
  return std::abs(b.center().y() - a.center().y()) <= tolerance && b.center().x() > a.center().x();
}

struct PageCase {
  const char* name;
  std::function<QWidget*(KelvoDevice*)> make;
};

class FocusOrderTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(FocusOrderTest, TabFollowsTheReadingOrder) {
  ScriptedReaderDevice device("K2XX000001");
  device.initialize(6, 60, ScriptedReaderDevice::allSettings(2, 1, 1, 0, 1, -70));
  std::unique_ptr<QWidget> page(GetParam().make(&device));
  page->show();
  QApplication::processEvents();
  const QList<QWidget*> chain = tabChain(page.get());
  ASSERT_FALSE(chain.isEmpty());
  QStringList order;
  for (QWidget* widget : chain) order << describe(widget, page.get());
  for (int i = 1; i < chain.size(); ++i) {
    EXPECT_TRUE(readsAfter(chain[i - 1], chain[i], page.get()))
        << describe(chain[i], page.get()).toStdString() << " comes after "
        << describe(chain[i - 1], page.get()).toStdString() << " in " << order.join(", ").toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, FocusOrderTest,
    ::testing::Values(PageCase{"pinChange", [](KelvoDevice*) { return new PinChangeView(); }},
                      PageCase{"pinUnblock", [](KelvoDevice*) { return new PinUnblockView(); }},
                      PageCase{"settings", [](KelvoDevice*) { return new SettingsView(); }},
                      PageCase{"log", [](KelvoDevice*) { return new LogView(); }},
                      PageCase{"battery", [](KelvoDevice* d) { return new BatterySettingPage(d); }},
                      PageCase{"signal", [](KelvoDevice* d) { return new SignalStrngSettingPage(d); }},
                      PageCase{"advertising", [](KelvoDevice* d) { return new AdvertisingSettingPage(d); }},
                      PageCase{"display", [](KelvoDevice* d) { return new DisplaySettingPage(d); }},
                      PageCase{"backlight", [](KelvoDevice* d) { return new BacklightSettingPage(d); }},
                      PageCase{"buzzer", [](KelvoDevice* d) { return new BuzzerSettingPage(d); }},
                      PageCase{"workingTimes", [](KelvoDevice* d) { return new WorkingTimeRangesPage(d); }},
                      PageCase{"updateOffer", [](KelvoDevice* d) { return new UpdateDevicePage(d); }}),
    [](const ::testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

}  // namespace
