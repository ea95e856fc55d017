// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's options. The whole argument list is scanned, the program name included; options match
// case-sensitively and in full, anything else is ignored.

#include <QString>
#include <QStringList>

class CommandLine {
 public:
  static const QString kDefaultTestSerial;

  static CommandLine parse(const QStringList& arguments);

  bool hidden() const { return hiddenRequested; }
  bool simpleQuit() const { return simpleQuitRequested; }
  bool testDevice() const { return testDeviceRequested; }
  QString testDeviceSerial() const { return serial; }

  // The tutorial, when due, needs the window, so it wins over -hidden.
  bool showWindow(bool tutorialDue) const { return tutorialDue || !hiddenRequested; }

 private:
  bool hiddenRequested = false;
  bool simpleQuitRequested = false;
  bool testDeviceRequested = false;
  QString serial = kDefaultTestSerial;
};
