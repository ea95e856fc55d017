// SPDX-License-Identifier: Apache-2.0
#pragma once
// The libraries the program ships with, for the About view: each with the version it runs with (read from the
// library at run time where the library can say, else the version it was built against), its licence and its
// copyright notice. The notice and the licence text come from the library's own copyright file, copied into the
// resources at build time under ":/res/licence/<name>".

#include <QList>
#include <QString>

class ThirdPartyLibraries {
 public:
  struct Library {
    QString name;
    QString version;
    QString licence;
    QString notice;
  };

  static QList<Library> all();
  // The resource that holds the library's licence text.
  static QString licencePath(const QString& name);
  // The first copyright line of a copyright file: a "Copyright:" field's value, or the line after an empty one.
  static QString noticeFrom(const QString& copyrightText);
};
