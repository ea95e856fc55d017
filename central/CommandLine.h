// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's options (--trace is the log's: ApplicationLog::tracingRequested). The whole argument list is scanned, the program name included; options match
// case-sensitively and in full, anything else is ignored.

#include <QString>
#include <QStringList>

class CommandLine {
 public:
  static const QString kDefaultTestSerial;

  // --help and --version are answered before anything starts (no display needed); the first of them counts.
  enum class Information { none, help, version };
  static Information informationRequested(const QStringList& arguments);
  static QString usage();

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
