// SPDX-License-Identifier: Apache-2.0
#include "security/LogonReader.h"

#include <QRegularExpression>

#include "ApplicationSettings.h"
#include "security/Pkcs11Module.h"

QString LogonReader::tokenLabel() { return qEnvironmentVariable("PKCS11_LOGIN_TOKEN_NAME"); }

QString LogonReader::remembered(const QString& label) { return ApplicationSettings::logonReader(label); }

void LogonReader::remember(const QString& label, const QString& reader) {
  if (remembered(label) != reader) ApplicationSettings::setLogonReader(label, reader);
}

bool LogonReader::holdsToken(const QString& moduleName, const QString& reader, const QString& label) {
  Pkcs11Module module(moduleName);
  if (!module.open()) return false;
  for (const CK_SLOT_ID slot : module.slotList()) {
    Pkcs11Module::SlotInfo info;
    if (!module.slotInfo(slot, info) || !info.tokenPresent || !sameReader(info.description, reader)) continue;
    if (module.tokenLabel(slot) == label) return true;
  }
  return false;
}

QString LogonReader::baseName(const QString& reader) {
  static const QRegularExpression kReaderNumbers(QStringLiteral(" [0-9A-Fa-f]{2} [0-9A-Fa-f]{2}$"));
  QString base = reader.trimmed();
  base.remove(kReaderNumbers);
  return base;
}

bool LogonReader::sameReader(const QString& first, const QString& second) {
  return !first.isEmpty() && baseName(first) == baseName(second);
}
