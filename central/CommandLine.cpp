// SPDX-License-Identifier: Apache-2.0
#include "CommandLine.h"

const QString CommandLine::kDefaultTestSerial = QStringLiteral("1234567890");

CommandLine CommandLine::parse(const QStringList& arguments) {
  CommandLine options;
  QString previous;
  for (const QString& argument : arguments) {
    if (argument == QLatin1String("-hidden")) {
      options.hiddenRequested = true;
    } else if (argument == QLatin1String("-simpleQuit")) {
      options.simpleQuitRequested = true;
    } else if (argument == QLatin1String("-testDevice")) {
      options.testDeviceRequested = true;
    } else if (previous == QLatin1String("-testDevice") && !argument.startsWith(QLatin1Char('-'))) {
      options.serial = argument;
    }
    previous = argument;
  }
  return options;
}
