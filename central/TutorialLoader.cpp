// SPDX-License-Identifier: Apache-2.0
#include "TutorialLoader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPluginLoader>
#include <QWidget>

#include "tutorial/TutorialFactory.h"

namespace {

const char kModuleName[] = "kelvo-central-tutorial.so";

TutorialFactory* factory() {
  static TutorialFactory* loaded = [] {
    const QString path = TutorialLoader::modulePath();
    QPluginLoader loader(path);
    auto* found = qobject_cast<TutorialFactory*>(loader.instance());
    if (found == nullptr) {
      qWarning("The tutorial cannot be shown: its module %s did not load (%s)", qPrintable(path),
               qPrintable(loader.errorString()));
    }
    return found;
  }();
  return loaded;
}

}  // namespace

QWidget* TutorialLoader::create(QWidget* parent) {
  TutorialFactory* tutorials = factory();
  return tutorials != nullptr ? tutorials->createTutorial(parent) : nullptr;
}

QString TutorialLoader::modulePath() {
  QString besideProgram = QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kModuleName);
  if (QFileInfo::exists(besideProgram)) return besideProgram;
  return QStringLiteral(KELVO_TUTORIAL_MODULE_DIR "/") + QLatin1String(kModuleName);
}
