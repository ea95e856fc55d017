// SPDX-License-Identifier: Apache-2.0
#pragma once
// The module's entry: the program finds it with QPluginLoader and asks it for tutorial views.

#include <QObject>

#include "tutorial/TutorialFactory.h"

class TutorialPlugin : public QObject, public TutorialFactory {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID TutorialFactory_iid)
  Q_INTERFACES(TutorialFactory)

 public:
  QWidget* createTutorial(QWidget* parent) override;
};
