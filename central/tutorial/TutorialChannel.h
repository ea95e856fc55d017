// SPDX-License-Identifier: Apache-2.0
#pragma once
// The tutorial view as the page sees it: the web channel object "controller". It carries only the view's signals to
// the page and the page's calls to the view. Publishing the view widget itself would hand the page every widget
// property (geometry, style sheet, ...) to read and write, and the channel warns about each of them.

#include <QObject>

class TutorialView;

class TutorialChannel : public QObject {
  Q_OBJECT

 public:
  explicit TutorialChannel(TutorialView* view);

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
  void on_rightButton_clicked();
  void on_leftButton_clicked();

 private:
  TutorialView* view;
};
