// SPDX-License-Identifier: Apache-2.0
#pragma once
// The handler's failures, one line each on standard error, which pcscd passes on to its journal. Callers never
// hand it APDU bytes; an ATR or a socket path is fine.

#include <string>

namespace kelvo::ifd {

void logFailure(const std::string& message);

}  // namespace kelvo::ifd
