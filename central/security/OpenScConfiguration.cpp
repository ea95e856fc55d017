// SPDX-License-Identifier: Apache-2.0
#include "security/OpenScConfiguration.h"

#include <QFileInfo>
#include <QStringList>

QStringList OpenScConfiguration::candidates(const QString& applicationDirectory) {
  return {applicationDirectory + QStringLiteral("/opensc.conf"), QStringLiteral(KELVO_OPENSC_CONF_INSTALLED)};
}

QString OpenScConfiguration::apply(const QString& applicationDirectory) {
  for (const QString& candidate : candidates(applicationDirectory)) {
    if (QFileInfo(candidate).isFile()) {
      qputenv("OPENSC_CONF", candidate.toLocal8Bit());
      return candidate;
    }
  }
  return QString();
}
