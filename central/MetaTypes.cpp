// SPDX-License-Identifier: Apache-2.0
#include "MetaTypes.h"

#include <QMetaType>

#include "devices/TimeRanges.h"

void MetaTypes::registerAll() {
  qRegisterMetaType<BYTE>("BYTE");
  qRegisterMetaType<TimeRanges>("TimeRanges");
}
