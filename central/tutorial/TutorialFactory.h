// SPDX-License-Identifier: Apache-2.0
#pragma once
// The tutorial lives in a module of its own (kelvo-central-tutorial) because its web view pulls in the whole web
// engine: the program loads the module only when the tutorial is opened, so a user who switched the tutorial off
// never pays for the engine's memory. This interface is all the program knows of the module.

#include <QtPlugin>

class QWidget;

class TutorialFactory {
 public:
  virtual ~TutorialFactory() = default;
  // A new tutorial view; the caller owns it. The view is a "TutorialView" with the signal requestClose(bool).
  virtual QWidget* createTutorial(QWidget* parent) = 0;
};

#define TutorialFactory_iid "org.kelvo.central.TutorialFactory/1"
Q_DECLARE_INTERFACE(TutorialFactory, TutorialFactory_iid)
