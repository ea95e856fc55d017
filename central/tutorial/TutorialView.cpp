// SPDX-License-Identifier: Apache-2.0
#include "tutorial/TutorialView.h"

#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineView>

#include "ApplicationSettings.h"
#include "tutorial/TutorialChannel.h"
#include "tutorial/TutorialPage.h"

const char TutorialView::kPageUrl[] = "qrc:///res/tutorial/Tutorial.html";

namespace {

const char kBackground[] = "background-color:#008ed6;";
const char kSlideButtonStyle[] =
    "QPushButton {color: rgb(0,122,192); font-size: 20px; font-weight: bold; border: none;}";
const char kCurrentSlideButtonStyle[] =
    "QPushButton {color: rgb(208,206,206); font-size: 20px; font-weight: bold; border: none;}";
const QChar kBullet(0x2022);
const QChar kPrevious(0x3008);
const QChar kNext(0x3009);
constexpr int kSlideButtonWidth = 30;
constexpr int kSlideButtonHeight = 15;
// The page is drawn for this size; the pop-up frame around it grows to fit.
constexpr int kPageWidth = 720;
constexpr int kPageHeight = 440;

QPushButton* navigationButton(const QString& objectName) {
  auto* button = new QPushButton;
  button->setObjectName(objectName);
  button->setFlat(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setStyleSheet(kSlideButtonStyle);
  return button;
}

}  // namespace

TutorialView::TutorialView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tutorialView"));
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet(kBackground);
  setFocusPolicy(Qt::StrongFocus);

  view = new QWebEngineView(this);
  view->setPage(new TutorialPage(view));
  view->setFixedSize(kPageWidth, kPageHeight);
  view->setContextMenuPolicy(Qt::NoContextMenu);
  view->hide();  // shown once the page has loaded, so no blank page flashes up
  channel = new QWebChannel(this);
  channel->registerObject(QStringLiteral("controller"), new TutorialChannel(this));
  view->page()->setWebChannel(channel);
  connect(view, &QWebEngineView::loadFinished, this, &TutorialView::finishLoading);
  connect(view, &QWebEngineView::urlChanged, this, &TutorialView::urlChanged);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  buildNavigation();
  layout->addLayout(navigation);
  setMinimumSize(kPageWidth, kPageHeight + kSlideButtonHeight * 3);

  view->load(QUrl(QString::fromLatin1(kPageUrl)));
}

void TutorialView::buildNavigation() {
  navigation = new QHBoxLayout;
  navigation->setSpacing(0);
  leftButton = navigationButton(QStringLiteral("leftButton"));
  rightButton = navigationButton(QStringLiteral("rightButton"));
  connect(leftButton, &QPushButton::clicked, this, &TutorialView::on_leftButton_clicked);
  connect(rightButton, &QPushButton::clicked, this, &TutorialView::on_rightButton_clicked);
  navigation->addStretch();
  navigation->addWidget(leftButton);
  navigation->addWidget(rightButton);
  navigation->addStretch();
}

// The page calls this once it has set itself up; it is also the moment the page listens to the view's signals.
void TutorialView::msgMaxSlideCount(int count) {
  rebuildSlideButtons(count);
  lastSlide = qMax(0, count - 1);
  emit updateLocale(QLocale().name());
  emit setCheckbox(!ApplicationSettings::tutorialOnStarup());
  goToSlide(current);
}

void TutorialView::rebuildSlideButtons(int count) {
  for (QPushButton* button : slideButtons) delete button;
  slideButtons.clear();
  const int insertAt = navigation->indexOf(rightButton);
  for (int index = 0; index < count; ++index) {
    QPushButton* button = navigationButton(QStringLiteral("slideButton%1").arg(index));
    button->setText(kBullet);
    button->setFixedSize(kSlideButtonWidth, kSlideButtonHeight);
    connect(button, &QPushButton::clicked, this, [this, index] { goToSlide(index); });
    navigation->insertWidget(insertAt + index, button);
    slideButtons.append(button);
  }
}

void TutorialView::goToSlide(int index) {
  current = qBound(0, index, lastSlide);
  for (int at = 0; at < slideButtons.size(); ++at) {
    slideButtons.at(at)->setStyleSheet(at == current ? kCurrentSlideButtonStyle : kSlideButtonStyle);
  }
  leftButton->setText(current > 0 ? QString(kPrevious) : QString());
  rightButton->setText(current < lastSlide ? QString(kNext) : QString());
  emit setPage(current);
}

void TutorialView::msgRestart() { goToSlide(0); }

void TutorialView::msgClose() { emit requestClose(true); }

// The page's box says "do not show again".
void TutorialView::msgCheckBox(bool checked) { ApplicationSettings::setTutorialOnStarup(!checked); }

void TutorialView::finishLoading(bool ok) {
  if (!ok) qWarning("The tutorial page did not load");
  runResourceScript(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  runResourceScript(QStringLiteral(":/res/tutorial/qt.js"));
  view->show();
  view->setFocus();
}

void TutorialView::runResourceScript(const QString& path) {
  QFile script(path);
  if (!script.open(QIODevice::ReadOnly)) return;
  view->page()->runJavaScript(QString::fromUtf8(script.readAll()));
}

// The page refuses other schemes before they load (TutorialPage); should one get through anyway, the tutorial comes
// back and the address goes to the desktop's browser.
void TutorialView::urlChanged(const QUrl& url) {
  if (url.isEmpty() || url.scheme() == QLatin1String("qrc")) return;
  view->load(QUrl(QString::fromLatin1(kPageUrl)));
  QDesktopServices::openUrl(url);
}

void TutorialView::on_rightButton_clicked() { goToSlide(current + 1); }

void TutorialView::on_leftButton_clicked() { goToSlide(current - 1); }

void TutorialView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Right:
      on_rightButton_clicked();
      break;
    case Qt::Key_Left:
    case Qt::Key_Delete:
      on_leftButton_clicked();
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}
