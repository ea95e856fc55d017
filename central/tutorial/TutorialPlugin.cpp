// SPDX-License-Identifier: Apache-2.0
#include "tutorial/TutorialPlugin.h"

#include <unistd.h>

#include "tutorial/TutorialView.h"

namespace {

// The web engine's renderer refuses to start as root inside its sandbox. The tutorial shows only the program's own
// resources and never loads an outside page (TutorialPage), so for root it runs without the sandbox rather than
// not at all.
void allowRootWithoutSandbox() {
  if (::geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) return;
  qInfo("Running as root: the tutorial's web view runs without its sandbox");
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

}  // namespace

QWidget* TutorialPlugin::createTutorial(QWidget* parent) {
  // The module's resources (the page, its script and pictures) are registered when the module is loaded.
  allowRootWithoutSandbox();
  return new TutorialView(parent);
}
