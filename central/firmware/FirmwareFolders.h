// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where firmware descriptors and images are found, in the order the catalogue reads them: the user's own folder
// (packages from the update server are unpacked there, so the desktop user must be able to write it), "Firmware"
// under the working directory, and the firmware the package ships.

#include <QString>
#include <QStringList>

class FirmwareFolders {
 public:
  // $XDG_CACHE_HOME/kelvo-central/Firmware (~/.cache/kelvo-central/Firmware by default).
  static QString downloadFolder();
  static QStringList catalogueRoots();
};
