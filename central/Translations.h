// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's language: the first language of the user's list (LANGUAGE, LC_MESSAGES, LANG as Qt reads them)
// that a translation exists for, matched by language so that de_AT and de_CH get the German texts too; with it
// Qt's own translation (dialog buttons, context menus) when the system has it.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <memory>

class Translations {
 public:
  // The program's translations, by their file names without ".qm" (kelvocentral_de_DE, ...).
  static QStringList available();
  // The translation for the first of `uiLanguages` (BCP 47 names such as "de-AT", best first) whose language
  // one of `translations` has; empty when none has.
  static QString choose(const QStringList& uiLanguages, const QStringList& translations);

  // Loads and installs the translations for the system's languages; logs what it chose.
  void install();

 private:
  QTranslator program;
  QTranslator qt;
};
