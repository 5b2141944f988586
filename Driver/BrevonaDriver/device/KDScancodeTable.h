#pragma once

#include <QByteArray>
#include <QString>

#include "VolumeLayout.h"

namespace brevona {

// The keyboard's key-code table as the driver writes it to "scancode.sys": 144 records of 64
// bytes, record k (from 0) for the key at position k + 1, taken from the base table resource with
// ten keys the driver programs itself.
class KDScancodeTable
{
public:
    static constexpr int RecordSize = volumelayout::ScancodeRecordSize;
    static constexpr int RecordCount = volumelayout::ScancodeRecordCount;
    static constexpr int TableSize = volumelayout::ScancodeTableSize;

    // The base table and the ten special keys. A missing resource, or one of another length,
    // leaves the base all zero.
    static QByteArray build(const QString &resourcePath);
    static QByteArray load(const QString &resourcePath);
    // Each special key's record becomes 1, its usage code, then zeros.
    static void writeKeystrokesToSpecialButtons(QByteArray &table);
};

} // namespace brevona
