// SPDX-License-Identifier: Apache-2.0
#include "CommandLine.h"

const QString CommandLine::kDefaultTestSerial = QStringLiteral("1234567890");

CommandLine::Information CommandLine::informationRequested(const QStringList& arguments) {
  for (const QString& argument : arguments) {
    if (argument == QLatin1String("--help")) return Information::help;
    if (argument == QLatin1String("--version")) return Information::version;
  }
  return Information::none;
}

QString CommandLine::usage() {
  return QStringLiteral(
             "usage: kelvo-central [-hidden] [-simpleQuit] [-testDevice [SERIAL]] [--help] [--version]\n"
             "  -hidden               start in the tray without showing the window\n"
             "  -simpleQuit           closing the window quits instead of hiding it in the tray\n"
             "  -testDevice [SERIAL]  add an emulated test reader (serial %1 unless given)\n"
             "  --trace               the reader library's trace lines in the log too (or KELVO_TRACE=1)\n"
             "  --help, --version     print this text or the version and exit\n"
             "Other arguments are ignored. KELVO_BLE_BACKEND chooses the radio (docs/backend-selection.md).\n")
      .arg(kDefaultTestSerial);
}

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
