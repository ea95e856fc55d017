#pragma once
// What the window shows as pop-up contents. The window knows them by class name only; the tutorial is still a
// stand-in with its real name and the signal the window listens to, to be replaced once the tutorial exists.

#include <QWidget>

#include "views/DevicesPage.h"
#include "views/WorkingTimeRangesPage.h"

class TutorialView : public QWidget {
  Q_OBJECT
 signals:
  void requestClose(bool isGlobal);
};
