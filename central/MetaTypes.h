// SPDX-License-Identifier: Apache-2.0
#pragma once
// The value types that travel through queued (cross-thread) signal connections.

#include <QtGlobal>

// Reader setting ids and values.
typedef uchar BYTE;

class MetaTypes {
 public:
  static void registerAll();
};
