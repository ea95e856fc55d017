// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the window shows as pop-up contents. The window knows them by class name only. The real tutorial lives in its
// own module with the web engine (its tests are TutorialViewTest); here a stand-in with its name and the signal the
// window listens to is enough.

#include <QWidget>

#include "views/DevicesPage.h"
#include "views/WorkingTimeRangesPage.h"

class TutorialView : public QWidget {
  Q_OBJECT
 signals:
  void requestClose(bool isGlobal);
};
