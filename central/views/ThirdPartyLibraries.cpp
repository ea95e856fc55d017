// SPDX-License-Identifier: Apache-2.0
#include "views/ThirdPartyLibraries.h"

#include <libusb-1.0/libusb.h>
#include <openssl/crypto.h>
#include <zip.h>

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QtGlobal>

namespace {

QString openSslVersion() { return QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION_STRING)); }

QString libusbVersion() {
  const libusb_version* version = libusb_get_version();
  return QStringLiteral("%1.%2.%3").arg(version->major).arg(version->minor).arg(version->micro);
}

QString noticeOfLibrary(const QString& name) {
  QFile file(ThirdPartyLibraries::licencePath(name));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
  return ThirdPartyLibraries::noticeFrom(QString::fromUtf8(file.readAll()));
}

ThirdPartyLibraries::Library library(const QString& name, const QString& version, const QString& licence) {
  return {name, version, licence, noticeOfLibrary(name)};
}

}  // namespace

QList<ThirdPartyLibraries::Library> ThirdPartyLibraries::all() {
  // Libraries without a version call carry the version they were built against (set by the build).
  return {
      library(QStringLiteral("OpenSSL"), openSslVersion(), QStringLiteral("Apache License 2.0")),
      library(QStringLiteral("Qt"), QString::fromLatin1(qVersion()), QStringLiteral("LGPLv3 License")),
      library(QStringLiteral("Qt WebEngine"), QStringLiteral(KELVO_QT_WEBENGINE_VERSION),
              QStringLiteral("LGPLv3 License")),
      library(QStringLiteral("libzip"), QString::fromLatin1(zip_libzip_version()),
              QStringLiteral("BSD 3-Clause License")),
      library(QStringLiteral("libusb"), libusbVersion(), QStringLiteral("LGPLv2.1 License")),
      library(QStringLiteral("sdbus-c++"), QStringLiteral(KELVO_SDBUSCPP_VERSION), QStringLiteral("LGPLv2.1 License")),
      library(QStringLiteral("pcsc-lite"), QStringLiteral(KELVO_PCSCLITE_VERSION),
              QStringLiteral("BSD 3-Clause License")),
      library(QStringLiteral("RapidXML"), QStringLiteral(KELVO_RAPIDXML_VERSION),
              QStringLiteral("MIT or Boost Software License")),
  };
}

QString ThirdPartyLibraries::licencePath(const QString& name) { return QStringLiteral(":/res/licence/") + name; }

QString ThirdPartyLibraries::noticeFrom(const QString& copyrightText) {
  static const QRegularExpression field(QStringLiteral("^\\s*Copyright\\b:?(.*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
  const QStringList lines = copyrightText.split(QLatin1Char('\n'));
  for (int at = 0; at < lines.size(); ++at) {
    const QRegularExpressionMatch match = field.match(lines.at(at));
    if (!match.hasMatch()) continue;
    const bool isField = lines.at(at).trimmed().startsWith(QLatin1String("Copyright:"), Qt::CaseInsensitive);
    QString value = isField ? match.captured(1).trimmed() : lines.at(at).trimmed();
    for (int next = at + 1; value.isEmpty() && next < lines.size(); ++next) value = lines.at(next).trimmed();
    if (value.isEmpty()) return QString();
    return value.startsWith(QLatin1String("Copyright"), Qt::CaseInsensitive) ? value
                                                                             : QStringLiteral("Copyright ") + value;
  }
  return QString();
}
