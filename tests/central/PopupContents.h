#pragma once
// Stand-ins for the views that later appear as pop-up contents. The window knows them by class name only, so these
// carry the real names and the signals the window listens to; replace them by the real views once those exist.

#include <QWidget>

class TutorialView : public QWidget {
  Q_OBJECT
 signals:
  void requestClose(bool isGlobal);
};

class WorkingTimeRangesPage : public QWidget {
  Q_OBJECT
 signals:
  void finished();
};

class DevicesPage : public QWidget {
  Q_OBJECT
 signals:
  void deviceSelected(QString deviceName);
};
