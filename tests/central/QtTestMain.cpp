// SPDX-License-Identifier: Apache-2.0
// Runs the widget tests on the offscreen platform with a profile of their own: the per-user settings, the log
// state and the data directory live in a fresh temporary directory per test process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char* argv[]) {
  // Offscreen unless a test needs a real display (the web engine draws on X only).
  qputenv("QT_QPA_PLATFORM",
          qEnvironmentVariableIsSet("KELVO_TEST_PLATFORM") ? qgetenv("KELVO_TEST_PLATFORM") : QByteArray("offscreen"));
  QTemporaryDir profile(QDir::tempPath() + QStringLiteral("/kelvo-central-test-XXXXXX"));
  if (!profile.isValid()) return 2;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(profile.filePath(QStringLiteral("config"))));
  qputenv("XDG_STATE_HOME", QFile::encodeName(profile.filePath(QStringLiteral("state"))));
  qputenv("XDG_CACHE_HOME", QFile::encodeName(profile.filePath(QStringLiteral("cache"))));
  qputenv("TREVALON_DATA_DIR", QFile::encodeName(profile.filePath(QStringLiteral("data"))));
  QDir().mkpath(profile.filePath(QStringLiteral("data")));

  Q_INIT_RESOURCE(kelvo_resources);
  QCoreApplication::setOrganizationName(QStringLiteral("trevalon GmbH"));
  QCoreApplication::setApplicationName(QStringLiteral("Kelvo Central"));
  // Kept until the process ends: Qt's offscreen platform does not free its screen when the application object is
  // destroyed, which the leak checker of the sanitizer builds would report against every test.
  static int applicationArgc = argc;
  static QApplication* application = new QApplication(applicationArgc, argv);
  Q_UNUSED(application);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
