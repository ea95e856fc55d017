// SPDX-License-Identifier: Apache-2.0
#pragma once
// Unpacks a verified firmware package (a ZIP archive) into the extraction folder. The archive is unpacked into a
// staging folder beside it first and moved into place only when every entry came out whole, so a refused or broken
// package leaves nothing behind. Entries that would land outside the folder (absolute paths, ".."), symbolic links
// and other special files, and archives that unpack to more than a set size are refused.

#include <QByteArray>
#include <QString>

class PackageUnpacker {
 public:
  static constexpr qint64 kMaxUnpackedBytes = 256LL * 1024 * 1024;
  static constexpr int kMaxEntries = 10000;

  // Replaces destination with the package's contents. False with a reason; destination is then left absent.
  static bool unpack(const QByteArray& package, const QString& destination, QString* error,
                     qint64 maxUnpackedBytes = kMaxUnpackedBytes);

  // A name that stays inside the folder it is unpacked to.
  static bool isSafeEntryName(const QString& name);
};
