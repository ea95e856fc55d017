// SPDX-License-Identifier: Apache-2.0
#include "tutorial/TutorialChannel.h"

#include "tutorial/TutorialView.h"

TutorialChannel::TutorialChannel(TutorialView* tutorial) : QObject(tutorial), view(tutorial) {
  connect(view, &TutorialView::setPage, this, &TutorialChannel::setPage);
  connect(view, &TutorialView::setCheckbox, this, &TutorialChannel::setCheckbox);
  connect(view, &TutorialView::updateLocale, this, &TutorialChannel::updateLocale);
  connect(view, &TutorialView::requestClose, this, &TutorialChannel::requestClose);
}

void TutorialChannel::msgMaxSlideCount(int count) { view->msgMaxSlideCount(count); }

void TutorialChannel::msgRestart() { view->msgRestart(); }

void TutorialChannel::msgClose() { view->msgClose(); }

void TutorialChannel::msgCheckBox(bool checked) { view->msgCheckBox(checked); }

void TutorialChannel::on_rightButton_clicked() { view->on_rightButton_clicked(); }

void TutorialChannel::on_leftButton_clicked() { view->on_leftButton_clicked(); }
