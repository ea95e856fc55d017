// SPDX-License-Identifier: Apache-2.0
#include "firmware/FirmwareFolders.h"

#include <QDir>
#include <QStandardPaths>

QString FirmwareFolders::downloadFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
         QStringLiteral("/kelvo-central/Firmware");
}

QStringList FirmwareFolders::catalogueRoots() {
  return {downloadFolder(), QDir::current().filePath(QStringLiteral("Firmware")),
          QStringLiteral(KELVO_SHIPPED_FIRMWARE_DIR)};
}
