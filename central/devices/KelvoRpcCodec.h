// SPDX-License-Identifier: Apache-2.0
#pragma once
// The bytes of the reader operations the application runs over the raw RPC channel: the bond list, erasing a
// bond, writing the external flash and entering the bootloader. A request is a method id and its arguments
// (little-endian); an answer starts with the reader's status. Nothing here sends: the device transmits the
// requests built here and logs the problem these functions name.
//
// A function with a `problem` returns false for what the operation cannot use; `problem` then holds the line for
// the debug log, or stays empty where the failure is expected and not worth a line (a reader that refuses).

#include <QByteArray>
#include <QMap>
#include <QString>
#include <cstdint>

class KelvoRpcCodec {
 public:
  static constexpr int kExternalFlashLengthLimit = 65536;

  static QByteArray bondListRequest();
  // The bonds by index with their preferred names (empty where the reader has none) and the index of the bond of
  // the computer asking. A malformed answer may leave the bonds before the fault in `names`.
  static bool readBondList(const QByteArray& answer, QMap<int, QString>& names, int& ownIndex, QString& problem);

  static QByteArray eraseBondRequest(int index);
  static bool readEraseBond(const QByteArray& answer, QString& problem);

  // False, with the problem, when offset and length do not lie within the data or the length does not fit the
  // request's 16-bit field.
  static bool externalFlashWriteRequest(const QByteArray& data, int offset, int length, QByteArray& request,
                                        QString& problem);
  static bool readExternalFlashWrite(const QByteArray& answer, QString& problem);
  // The write method without arguments: a reader that knows it answers with another status than "not supported".

  static QByteArray bootloaderRequest(uint8_t mode);
  // True when the reader's firmware cannot switch to the bootloader over RPC.
  static bool bootloaderNotSupported(const QByteArray& answer);
};
