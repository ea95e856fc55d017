// SPDX-License-Identifier: Apache-2.0
#pragma once
// The services readers are found by: the Kelvo reader service as the layers above know it, the variant some
// Kelvo devices offer instead, and the Pentaloq readers' service.

#include <vector>

#include "trevalon/ble/Uuid.h"

namespace trevalon::ble {

// 723e2ee5-f0aa-4f13-a557-6b3f0e916803
inline const Uuid kReaderService =
    Uuid({0x72, 0x3e, 0x2e, 0xe5, 0xf0, 0xaa, 0x4f, 0x13, 0xa5, 0x57, 0x6b, 0x3f, 0x0e, 0x91, 0x68, 0x03});
// 723e2ee5-f0aa-4f13-a557-6b3f0e916801
inline const Uuid kReaderServiceVariant =
    Uuid({0x72, 0x3e, 0x2e, 0xe5, 0xf0, 0xaa, 0x4f, 0x13, 0xa5, 0x57, 0x6b, 0x3f, 0x0e, 0x91, 0x68, 0x01});

// a63928c5-f337-4181-9412-09b8a6d8826f
inline const Uuid kPentaloqService =
    Uuid({0xa6, 0x39, 0x28, 0xc5, 0xf3, 0x37, 0x41, 0x81, 0x94, 0x12, 0x09, 0xb8, 0xa6, 0xd8, 0x82, 0x6f});

// A Kelvo reader is found under either variant of its service.
inline std::vector<Uuid> kelvoReaderServices() { return {kReaderService, kReaderServiceVariant}; }
inline std::vector<Uuid> allReaderServices() { return {kReaderService, kReaderServiceVariant, kPentaloqService}; }

// 0000XXXX-0000-1000-8000-00805f9b34fb
inline Uuid shortUuid(uint16_t value) {
  return Uuid({0x00, 0x00, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xff), 0x00, 0x00, 0x10, 0x00,
               0x80, 0x00, 0x00, 0x80, 0x5f, 0x9b, 0x34, 0xfb});
}

}  // namespace trevalon::ble
