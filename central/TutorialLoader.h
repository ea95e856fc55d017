// SPDX-License-Identifier: Apache-2.0
#pragma once
// Finds the tutorial module and asks it for a tutorial view. The module is loaded at the first call and stays
// loaded: the web engine it brings cannot be unloaded safely, and a second tutorial then opens at once.

#include <QString>

class QWidget;

class TutorialLoader {
 public:
  // A new tutorial view, or null (with a warning in the log) when the module is missing or unusable.
  static QWidget* create(QWidget* parent = nullptr);
  // Where the module is looked for: beside the program (the build tree), then where it is installed.
  static QString modulePath();
};
