#include "ScancodeTable.h"

#include "KeyTable.h"

namespace brevona {

QByteArray ScancodeTable::build(const KeyTable &table)
{
    QByteArray bytes(kSize, '\0');
    for (const KeyTable::Key &key : table.keys()) {
        if (!key.matrix || !key.usage)
            continue;
        char *record = bytes.data() + (key.matrix - 1) * kRecordSize;
        if (key.usage->page == 7) {
            record[0] = 1;
            record[1] = static_cast<char>(key.usage->usage & 0xFF);
        } else if (key.usage->page == 12) {
            record[0] = 2;
            record[1] = static_cast<char>((key.usage->usage >> 8) & 0xFF);
            record[2] = static_cast<char>(key.usage->usage & 0xFF);
        }
    }
    return bytes;
}

} // namespace brevona
