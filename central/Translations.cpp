// SPDX-License-Identifier: Apache-2.0
#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

namespace {
const QString kDirectory = QStringLiteral(":/i18n");
const QString kPrefix = QStringLiteral("kelvocentral_");
}  // namespace

QStringList Translations::available() {
  QStringList names;
  for (const QString& file : QDir(kDirectory).entryList({kPrefix + QStringLiteral("*.qm")}, QDir::Files)) {
    names << file.chopped(3);
  }
  return names;
}

QString Translations::choose(const QStringList& uiLanguages, const QStringList& translations) {
  for (const QString& wanted : uiLanguages) {
    const QLocale locale(wanted);
    // English is the program's own language: a user who puts it first gets no translation.
    if (locale.language() == QLocale::English || locale.language() == QLocale::C) return QString();
    QString sameLanguage;
    for (const QString& translation : translations) {
      const QLocale offered(translation.mid(kPrefix.size()));
      if (offered.language() != locale.language()) continue;
      if (offered.country() == locale.country()) return translation;
      if (sameLanguage.isEmpty()) sameLanguage = translation;
    }
    if (!sameLanguage.isEmpty()) return sameLanguage;
  }
  return QString();
}

void Translations::install() {
  const QStringList languages = QLocale::system().uiLanguages();
  const QString chosen = choose(languages, available());
  if (chosen.isEmpty() || !program.load(chosen, kDirectory)) {
    qInfo("No translation for %s; the texts stay English", qPrintable(languages.join(QLatin1Char(','))));
    return;
  }
  QCoreApplication::installTranslator(&program);
  qInfo("Translation %s loaded", qPrintable(chosen));
  const QLocale language(chosen.mid(kPrefix.size()));
  if (qt.load(language, QStringLiteral("qtbase"), QStringLiteral("_"),
              QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&qt);
  } else {
    qInfo("Qt's own texts stay English (no qtbase translation for %s)", qPrintable(language.name()));
  }
}
