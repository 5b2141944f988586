#pragma once

#include <QByteArray>

#include "VolumeLayout.h"

namespace brevona {

class KeyTable;

// The keyboard's base scancode table ("scancode.sys"): 144 records of 64 bytes, record k for the
// key at matrix position k + 1. A record holds what the key sends:
//   byte 0 = 1: one keyboard-page usage, in byte 1 (the form the driver writes for its ten keys);
//   byte 0 = 2: one consumer-page usage, most significant byte first in bytes 1 and 2;
//   all zero:   nothing is wired at that position.
class ScancodeTable
{
public:
    static constexpr int kRecordSize = volumelayout::ScancodeRecordSize;
    static constexpr int kRecordCount = volumelayout::ScancodeRecordCount;
    static constexpr int kSize = volumelayout::ScancodeTableSize;

    static QByteArray build(const KeyTable &table);
};

} // namespace brevona
