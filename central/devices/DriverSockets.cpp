// SPDX-License-Identifier: Apache-2.0
#include "devices/DriverSockets.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "devices/PipeClient.h"
#include "trevalon/local/Paths.h"

namespace {

constexpr int kAddressDigits = 12;

bool isSocket(const QString& path) {
  struct stat status {};
  return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool isAddress(const QString& text) {
  if (text.size() != kAddressDigits) return false;
  for (const QChar character : text) {
    if (!character.isDigit() && (character.toLower() < QLatin1Char('a') || character.toLower() > QLatin1Char('f'))) {
      return false;
    }
  }
  return true;
}

}  // namespace

QString DriverSockets::socketPrefix() {
  return QStringLiteral("omnivex#ipc#ver%1#kelvo_").arg(PipeClient::kProtocolVersion);
}

QSet<QString> DriverSockets::readerAddresses(const QString& directory) {
  QSet<QString> addresses;
  const QString prefix = socketPrefix();
  const QDir runtime(directory);
  for (const QString& name : runtime.entryList({prefix + QLatin1Char('*')}, QDir::System | QDir::Files)) {
    const QString address = name.mid(prefix.size());
    if (isAddress(address) && isSocket(runtime.filePath(name))) addresses.insert(address.toLower());
  }
  return addresses;
}

QSet<QString> DriverSockets::readerAddresses() {
  return readerAddresses(QString::fromStdString(trevalon::local::Paths::runtimeDirectory()));
}
