// SPDX-License-Identifier: Apache-2.0
// Kelvo Central's start-up: one instance per session, the reader library's settings, machine and log, the Qt
// application with its translation, then the main window behind the tray icon until the user quits.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTranslator>
#include <iostream>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include "ApplicationLog.h"
#include "ApplicationPalette.h"
#include "ApplicationSettings.h"
#include "CommandLine.h"
#include "MetaTypes.h"
#include "RaiseChannel.h"
#include "SingleInstance.h"
#include "Translations.h"
#include "Window.h"
#include "devices/InProcessReaders.h"
#include "kelvo/Version.h"
#include "security/OpenScConfiguration.h"
#include "trevalon/ble/Backend.h"
#include "trevalon/ble/BackendError.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"
#include "trevalon/local/Paths.h"

namespace {

const char kApplicationName[] = "Kelvo Central";
const char kOrganizationName[] = "trevalon GmbH";
const char kOrganizationDomain[] = "trevalon.example";
const char kApplicationVersion[] = KELVO_VERSION;

// Readers served in this process agree their link keys here, and a key that cannot be stored is not agreed
// (the reader would keep a key we lost). The system's directory belongs to the driver; a user without write
// access to it keeps the keys of in-process readers in a private directory of their own.
void giveLibraryItsSettings() {
  std::string directory = trevalon::local::Paths::settingsDirectory();
  if (::access(directory.c_str(), W_OK | X_OK) != 0) {
    const QString own =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/kelvo-central/reader-settings";
    if (QDir().mkpath(own) && ::chmod(QFile::encodeName(own).constData(), 0700) == 0) {
      qInfo("The reader library's settings directory %s cannot be written; reader keys are kept in %s",
            directory.c_str(), qPrintable(own));
      directory = own.toStdString();
    } else {
      qWarning("Neither %s nor %s can hold reader keys; readers served in this process cannot be encrypted",
               directory.c_str(), qPrintable(own));
    }
  }
  trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(directory));
}

void giveLibraryItsMachine() {
  trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
}

// The arguments before the application object exists (it is made after the log and the library are set up).
QStringList argumentsOf(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

// --help and --version: answered before anything starts, so they work without a display. True when answered.
bool answerInformationRequest(const QStringList& arguments) {
  switch (CommandLine::informationRequested(arguments)) {
    case CommandLine::Information::help:
      std::cout << CommandLine::usage().toStdString();
      return true;
    case CommandLine::Information::version:
      std::cout << "kelvo-central " << kApplicationVersion << std::endl;
      return true;
    case CommandLine::Information::none:
      break;
  }
  return false;
}

// The window is laid out in pixels: it may be doubled (a 200 % desktop) but never scaled by an odd factor, which
// would blur it and break its layout. So the screen's scale is followed rounded to a whole number (125 % stays 1x,
// 200 % becomes 2x), unless the user chose a scale in the environment, which is left alone. Pictures then come in
// the window's scale (Artwork). Answers the variable the user chose the scale with, or nothing.
const char* chooseScaling() {
  QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
  for (const char* chosen :
       {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_ENABLE_HIGHDPI_SCALING"}) {
    if (qEnvironmentVariableIsSet(chosen)) return chosen;
  }
  QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
  return nullptr;
}

bool showWindowAtStart(const CommandLine& options) {
  return options.showWindow(ApplicationSettings::tutorialOnStarup());
}

}  // namespace

int main(int argc, char* argv[]) {
  const QStringList arguments = argumentsOf(argc, argv);
  if (answerInformationRequest(arguments)) return 0;
  // The environment changes only here, before any thread exists.
  const QString openScConfiguration =
      OpenScConfiguration::apply(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
  const char* scaleChosenBy = chooseScaling();

  // A radio that cannot be used as asked (KELVO_BLE_BACKEND) is refused before anything starts.
  InProcessReaders::registerRadios();
  try {
    trevalon::ble::Backend::checkEnvironment();
  } catch (const trevalon::ble::BackendError& error) {
    std::cerr << "kelvo-central: " << error.what() << std::endl;
    return 1;
  }

  SingleInstance instance;
  const SingleInstance::Claim claim = instance.claim();
  const std::string raiseSocket = RaiseChannel::socketPathFor(instance.lockFilePath());
  if (claim == SingleInstance::Claim::heldByAnother) {
    // The running instance shows its window; this start has nothing more to do.
    RaiseChannel::requestRaise(raiseSocket);
    return 0;
  }

  if (!ApplicationLog::install(ApplicationLog::defaultFilePath())) {
    qWarning("Cannot open the log file %s; logging to standard error only",
             qPrintable(ApplicationLog::defaultFilePath()));
  }
  if (claim == SingleInstance::Claim::unavailable) {
    qWarning("Running without the single-instance guard: %s", instance.failure().c_str());
  }

  giveLibraryItsSettings();
  giveLibraryItsMachine();
  ApplicationLog::routeLibraryLog(ApplicationLog::tracingRequested(arguments));

  Q_INIT_RESOURCE(kelvo_resources);
  MetaTypes::registerAll();

  QCoreApplication::setOrganizationName(kOrganizationName);
  QCoreApplication::setOrganizationDomain(kOrganizationDomain);
  QCoreApplication::setApplicationName(kApplicationName);
  // The embedded web views of the tutorial and update pages share the application's GL context.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  auto application = std::make_unique<QApplication>(argc, argv);
  ApplicationPalette::apply(*application);
  QCoreApplication::setApplicationVersion(kApplicationVersion);
  qInfo("%s %s starting", kApplicationName, kApplicationVersion);
  qInfo("Window scale %g (%s)", qApp->devicePixelRatio(),
        scaleChosenBy != nullptr ? scaleChosenBy : "the screen's, rounded to a whole number");
  if (openScConfiguration.isEmpty()) {
    qWarning("The application's OpenSC configuration is missing; OpenSC may refuse to unblock a PIN");
  } else {
    qInfo("OpenSC configuration: %s", qPrintable(openScConfiguration));
  }

  auto translations = std::make_unique<Translations>();
  translations->install();

  const CommandLine options = CommandLine::parse(QCoreApplication::arguments());

  // Without a tray (stock GNOME, for one) the window is the program: shown even with -hidden, closed to quit.
  const bool trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
  if (!trayAvailable) qInfo("No system tray; running as a window");

  QApplication::setQuitOnLastWindowClosed(false);
  auto window = std::make_unique<Window>(options.simpleQuit(), nullptr, trayAvailable);
  if (options.testDevice()) window->addTestDevice(options.testDeviceSerial());
  if (showWindowAtStart(options) || !trayAvailable) window->show();
  // Only the instance that holds the lock answers later starts.
  RaiseChannel raiseChannel(QString::fromStdString(raiseSocket));
  if (claim == SingleInstance::Claim::acquired && raiseChannel.listen()) {
    QObject::connect(&raiseChannel, &RaiseChannel::raiseRequested, window.get(), &Window::bringToFront);
  }

  const int exitCode = QApplication::exec();
  instance.release();
  window.reset();
  translations.reset();
  application.reset();
  return exitCode;
}
