// SPDX-License-Identifier: Apache-2.0
#pragma once
// Points OpenSC, loaded later as the PKCS#11 module, at the configuration the application ships (OPENSC_CONF for
// this process only). Called at start-up before any thread exists, since it changes the environment.

#include <QString>
#include <QStringList>

class OpenScConfiguration {
 public:
  // The configuration file found, or an empty string when none is installed (OpenSC's own then applies).
  static QString apply(const QString& applicationDirectory);
  // Where the file is looked for: beside the program (a build tree), then the installed data folder.
  static QStringList candidates(const QString& applicationDirectory);
};
