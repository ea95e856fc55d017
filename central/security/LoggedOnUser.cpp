// SPDX-License-Identifier: Apache-2.0
#include "security/LoggedOnUser.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr long kFallbackBufferSize = 16384;

}  // namespace

QString LoggedOnUser::displayName() { return displayNameOf(getuid()); }

QString LoggedOnUser::displayNameOf(uid_t user) {
  const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<size_t>(suggested > 0 ? suggested : kFallbackBufferSize));
  passwd entry{};
  passwd* found = nullptr;
  // getpwuid_r keeps the answer in our buffer: other threads may look up users at the same time.
  if (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return QString();
  return fullNameOf(found->pw_gecos);
}

QString LoggedOnUser::fullNameOf(const char* gecos) {
  if (gecos == nullptr) return QString();
  const QString field = QString::fromLocal8Bit(gecos);
  return field.section(QLatin1Char(','), 0, 0).trimmed();
}
