// SPDX-License-Identifier: Apache-2.0
#pragma once
// The tutorial: a slide show drawn by the page qrc:///res/tutorial/Tutorial.html in an embedded web view. The page
// and the view talk through a web channel on which the view is the object "controller" (TutorialChannel): the page tells the view how
// many slides it has and what the user clicked, the view tells the page which slide to show, the language and the
// state of its "do not show again" box. The navigation row below the page (previous, one button per slide, next)
// and the keys belong to the view.

#include <QList>
#include <QUrl>
#include <QWidget>

class QHBoxLayout;
class QKeyEvent;
class QPushButton;
class QWebChannel;
class QWebEngineView;

class TutorialView : public QWidget {
  Q_OBJECT

 public:
  static const char kPageUrl[];

  explicit TutorialView(QWidget* parent = nullptr);

  int currentSlide() const { return current; }
  int slideCount() const { return lastSlide + 1; }
  QWebEngineView* webView() const { return view; }

 signals:
  void setPage(int index);
  void setCheckbox(bool checked);
  void updateLocale(QString locale);
  void requestClose(bool isGlobal);

 public slots:
  void msgMaxSlideCount(int count);
  void msgRestart();
  void msgClose();
  void msgCheckBox(bool checked);
  void finishLoading(bool ok);
  void urlChanged(const QUrl& url);
  void on_rightButton_clicked();
  void on_leftButton_clicked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildNavigation();
  void rebuildSlideButtons(int count);
  void goToSlide(int index);
  void runResourceScript(const QString& path);

  QWebEngineView* view = nullptr;
  QWebChannel* channel = nullptr;
  QHBoxLayout* navigation = nullptr;
  QPushButton* leftButton = nullptr;
  QPushButton* rightButton = nullptr;
  QList<QPushButton*> slideButtons;
  int current = 0;
  int lastSlide = 0;  // the number of slides minus one
};
