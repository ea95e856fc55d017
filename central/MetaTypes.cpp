#include "MetaTypes.h"

#include <QMetaType>

#include "devices/TimeRanges.h"

void MetaTypes::registerAll() {
  qRegisterMetaType<BYTE>("BYTE");
  qRegisterMetaType<TimeRanges>("TimeRanges");
}
