// SPDX-License-Identifier: Apache-2.0
// The tutorial view with its real page in the real web engine (on an Xvfb display: the engine draws nothing on the
// offscreen platform). The page is driven as a user drives it, through its own elements, and the view's side is
// checked: the navigation row, the stored setting, links handed to the desktop.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QEventLoop>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "ApplicationSettings.h"
#include "tutorial/TutorialView.h"

namespace {

constexpr int kLoadMs = 30000;
constexpr int kPageSlides = 8;
const QString kNext(QChar(0x3009));
const QString kPrevious(QChar(0x3008));

// Receives what the tutorial hands to the desktop's browser.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened << url; }
};

QVariant runScript(TutorialView& view, const QString& script) {
  QVariant result;
  QEventLoop loop;
  view.webView()->page()->runJavaScript(script, [&](const QVariant& value) {
    result = value;
    loop.quit();
  });
  QTimer::singleShot(kLoadMs, &loop, &QEventLoop::quit);
  loop.exec();
  return result;
}

// The page has loaded, opened its channel and told the view its slides.
bool pageReady(TutorialView& view) {
  for (int waited = 0; view.slideCount() != kPageSlides && waited < kLoadMs; waited += 50) QTest::qWait(50);
  return view.slideCount() == kPageSlides;
}

QString currentTitle(TutorialView& view) {
  return runScript(view, QStringLiteral("document.querySelector('.slide.current h1').textContent")).toString();
}

QPushButton* button(TutorialView& view, const char* name) {
  return view.findChild<QPushButton*>(QString::fromLatin1(name));
}

class TutorialViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApplicationSettings::setTutorialOnStarup(true);
    view.show();
    ASSERT_TRUE(pageReady(view)) << "the page never called msgMaxSlideCount";
  }

  TutorialView view;
};

TEST_F(TutorialViewTest, ThePageCountsItsSlidesAndTheRowHasAButtonForEach) {
  EXPECT_TRUE(view.webView()->isVisible());
  const QList<QPushButton*> bullets =
      view.findChildren<QPushButton*>(QRegularExpression(QStringLiteral("^slideButton")));
  ASSERT_EQ(bullets.size(), kPageSlides);
  for (const QPushButton* bullet : bullets) {
    EXPECT_EQ(bullet->text(), QString(QChar(0x2022)));
    EXPECT_EQ(bullet->size(), QSize(30, 15));
  }
  EXPECT_EQ(button(view, "leftButton")->text(), "");
  EXPECT_EQ(button(view, "rightButton")->text(), kNext);
  EXPECT_EQ(currentTitle(view), "Welcome to Kelvo Central");

  // A bullet goes to its slide; the page follows and the current bullet is the grey one.
  QTest::mouseClick(bullets.at(4), Qt::LeftButton);
  EXPECT_EQ(view.currentSlide(), 4);
  EXPECT_EQ(currentTitle(view), "Firmware updates");
  EXPECT_TRUE(bullets.at(4)->styleSheet().contains("rgb(208,206,206)"));
  EXPECT_TRUE(bullets.at(3)->styleSheet().contains("rgb(0,122,192)"));
  EXPECT_EQ(button(view, "leftButton")->text(), kPrevious);
}

TEST_F(TutorialViewTest, KeysMoveWithinTheSlidesAndStopAtBothEnds) {
  view.msgMaxSlideCount(3);
  QSignalSpy pages(&view, &TutorialView::setPage);
  for (int press = 0; press < 4; ++press) QTest::keyClick(&view, Qt::Key_Right);
  EXPECT_EQ(view.currentSlide(), 2);
  EXPECT_EQ(pages.last().first().toInt(), 2);
  EXPECT_EQ(button(view, "rightButton")->text(), "");

  struct Case {
    Qt::Key key;
    int from;
    int to;
  };
  const Case cases[] = {{Qt::Key_Left, 2, 1},   {Qt::Key_Delete, 1, 0}, {Qt::Key_Left, 0, 0}, {Qt::Key_Space, 0, 1},
                        {Qt::Key_Return, 1, 2}, {Qt::Key_Enter, 2, 2},  {Qt::Key_A, 2, 2},    {Qt::Key_Up, 2, 2}};
  for (const Case& step : cases) {
    ASSERT_EQ(view.currentSlide(), step.from);
    QTest::keyClick(&view, step.key);
    EXPECT_EQ(view.currentSlide(), step.to) << "key " << step.key;
  }

  // The page's keys reach the view as well: the arrows do not scroll the page.
  view.webView()->setFocus();
  runScript(view, QStringLiteral("document.dispatchEvent(new KeyboardEvent('keydown', {key: 'ArrowLeft'}))"));
  for (int waited = 0; view.currentSlide() != 1 && waited < 5000; waited += 50) QTest::qWait(50);
  EXPECT_EQ(view.currentSlide(), 1);
}

TEST_F(TutorialViewTest, ThePagesBoxStoresTheSettingAndItsButtonsRestartAndClose) {
  EXPECT_FALSE(runScript(view, QStringLiteral("document.getElementById('dontShow').checked")).toBool());
  runScript(view, QStringLiteral("document.getElementById('dontShow').click()"));
  for (int waited = 0; ApplicationSettings::tutorialOnStarup() && waited < 5000; waited += 50) QTest::qWait(50);
  EXPECT_FALSE(ApplicationSettings::tutorialOnStarup());
  runScript(view, QStringLiteral("document.getElementById('dontShow').click()"));
  for (int waited = 0; !ApplicationSettings::tutorialOnStarup() && waited < 5000; waited += 50) QTest::qWait(50);
  EXPECT_TRUE(ApplicationSettings::tutorialOnStarup());

  view.msgMaxSlideCount(kPageSlides);
  QTest::keyClick(&view, Qt::Key_Right);
  QSignalSpy closing(&view, &TutorialView::requestClose);
  runScript(view, QStringLiteral("document.getElementById('restart').click()"));
  for (int waited = 0; view.currentSlide() != 0 && waited < 5000; waited += 50) QTest::qWait(50);
  EXPECT_EQ(view.currentSlide(), 0);
  runScript(view, QStringLiteral("document.getElementById('close').click()"));
  ASSERT_TRUE(closing.size() == 1 || closing.wait(5000));
  EXPECT_TRUE(closing.first().first().toBool());
}

TEST_F(TutorialViewTest, LinksToOtherSchemesGoToTheDesktopAndTheTutorialStays) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
  runScript(view, QStringLiteral("document.getElementById('manual').click()"));
  runScript(view, QStringLiteral("location.href = 'https://www.example.org/help'"));
  for (int waited = 0; catcher.opened.size() < 2 && waited < 5000; waited += 50) QTest::qWait(50);
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  EXPECT_EQ(catcher.opened, QList<QUrl>({QUrl(QStringLiteral("file:///usr/share/doc/kelvo-central/README.md")),
                                         QUrl(QStringLiteral("https://www.example.org/help"))}));
  EXPECT_EQ(view.webView()->url(), QUrl(QString::fromLatin1(TutorialView::kPageUrl)));
  EXPECT_EQ(currentTitle(view), "Welcome to Kelvo Central");
}

TEST(TutorialViewLanguage, AGermanDesktopGetsTheGermanSlides) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  {
    TutorialView view;
    view.show();
    QSignalSpy locale(&view, &TutorialView::updateLocale);
    ASSERT_TRUE(pageReady(view));
    EXPECT_EQ(locale.first().first().toString(), "de_DE");
    EXPECT_EQ(currentTitle(view), "Willkommen bei Kelvo Central");
  }
  QLocale::setDefault(before);
}

}  // namespace

#include "TutorialViewTest.moc"
