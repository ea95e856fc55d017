// SPDX-License-Identifier: Apache-2.0
#pragma once
// The readers the reader driver serves, as the sockets it keeps in the runtime directory: one socket
// "omnivex#ipc#ver6#kelvo_<address>" per reader, present exactly while the driver serves that reader.

#include <QSet>
#include <QString>

class DriverSockets {
 public:
  // The lower-case addresses of the readers with a socket in `directory`. An unreadable or missing directory
  // means that no driver runs: the set is empty.
  static QSet<QString> readerAddresses(const QString& directory);
  static QSet<QString> readerAddresses();

  static QString socketPrefix();
};
