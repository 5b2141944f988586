#include "KDScancodeTable.h"

#include <algorithm>
#include <array>
#include <utility>

#include <QFile>

#include "DeviceLogging.h"

namespace brevona {

namespace {

// Key position and the keyboard-page usage the key sends, in the order they are written.
constexpr std::array<std::pair<int, unsigned char>, 10> kSpecialKeys = {{
    {7, 0x7E},
    {47, 0x7F},
    {15, 0x80},
    {55, 0x81},
    {23, 0x82},
    {63, 0x87},
    {31, 0x89},
    {71, 0x8A},
    {39, 0x8B},
    {79, 0x8C},
}};

} // namespace

QByteArray KDScancodeTable::load(const QString &resourcePath)
{
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcDevice).noquote()
            << "Scancode table" << resourcePath << "cannot be read:" << file.errorString();
        return QByteArray(TableSize, '\0');
    }
    // One byte more than needed tells a longer file from a table of the right length.
    const QByteArray content = file.read(TableSize + 1);
    if (content.size() != TableSize) {
        qCWarning(lcDevice).noquote() << "Scancode table" << resourcePath << "is not" << TableSize
                                      << "bytes long; an empty table is used";
        return QByteArray(TableSize, '\0');
    }
    return content;
}

void KDScancodeTable::writeKeystrokesToSpecialButtons(QByteArray &table)
{
    if (table.size() != TableSize)
        table = QByteArray(TableSize, '\0');
    for (const auto &[position, usage] : kSpecialKeys) {
        char *record = table.data() + (position - 1) * RecordSize;
        std::fill(record, record + RecordSize, '\0');
        record[0] = 1;
        record[1] = static_cast<char>(usage);
    }
}

QByteArray KDScancodeTable::build(const QString &resourcePath)
{
    QByteArray table = load(resourcePath);
    writeKeystrokesToSpecialButtons(table);
    return table;
}

} // namespace brevona
