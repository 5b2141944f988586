#include "ResourceTables.h"

#include "KeyTable.h"
#include "StoreNames.h"

namespace brevona {

QString ResourceTables::pointString(QPoint point)
{
    return QStringLiteral("{%1, %2}").arg(point.x()).arg(point.y());
}

QString ResourceTables::sizeString(QSize size)
{
    return QStringLiteral("{%1, %2}").arg(size.width()).arg(size.height());
}

QString ResourceTables::rectString(const QRect &rect)
{
    return QStringLiteral("{%1, %2}").arg(pointString(rect.topLeft()), sizeString(rect.size()));
}

QVariantMap ResourceTables::buttonInformation(const KeyTable &table)
{
    QVariantMap info;
    for (const KeyTable::Key &key : table.keys()) {
        QVariantMap entry;
        if (key.display) {
            entry.insert(QStringLiteral("Location"), pointString(table.cellRect(key).topLeft()));
            entry.insert(QStringLiteral("OLEDIndex"), qint64(key.display));
        }
        entry.insert(QStringLiteral("KeyIndex"), qint64(key.matrix));
        entry.insert(QStringLiteral("Char"), qint64(key.x11KeyCode()));
        info.insert(key.name, entry);
    }
    return info;
}

QVariantMap ResourceTables::geometry(const KeyTable &table)
{
    QVariantMap locations;
    QVariantMap areas;
    for (const KeyTable::Key &key : table.keys()) {
        if (!key.display)
            continue;
        locations.insert(key.name, pointString(table.cellRect(key).topLeft()));
        if (!table.isStandardSize(key))
            areas.insert(key.name, rectString(table.outlineRect(key)));
    }
    return {
        {QStringLiteral("ButtonsSize"), sizeString(QSize(KeyTable::kCellSize, KeyTable::kCellSize))},
        // The backgrounds are drawn in layer-picture coordinates, so nothing needs shifting.
        {QStringLiteral("VisualDelta"), sizeString(QSize(0, 0))},
        {QStringLiteral("ButtonsLocations"), locations},
        {QStringLiteral("ButtonsNonStandardAreas"), areas},
    };
}

QVariantMap ResourceTables::usageTable(const KeyTable &table)
{
    QVariantMap standard;
    QVariantMap multimedia;
    for (const KeyTable::Key &key : table.keys()) {
        if (key.usage && key.usage->page == 7)
            standard.insert(QString::number(key.usage->usage), key.usageName());
        else if (key.usage && key.usage->page == 12)
            multimedia.insert(QString::number(key.usage->usage), key.usageName());
        // What the driver programs the key to send arrives on the keyboard interface and is
        // reported under the key's own name.
        if (key.driverUsage)
            standard.insert(QString::number(key.driverUsage->usage), key.name);
    }
    return {{QStringLiteral("Standard"), standard}, {QStringLiteral("Multimedia"), multimedia}};
}

QVariantMap ResourceTables::virtualKeyCodes(const KeyTable &table)
{
    // Only the keys whose character depends on the input language: the language layers are made
    // of exactly these keys and would otherwise hide the labels of the control keys.
    QVariantMap codes;
    for (const KeyTable::Key &key : table.keys()) {
        if (key.kind == KeyTable::Kind::Char && key.x11KeyCode())
            codes.insert(key.name, qint64(key.x11KeyCode()));
    }
    return codes;
}

QVariantMap ResourceTables::defaultLayerData(const KeyTable &table)
{
    QVariantMap labels;
    for (const KeyTable::Key &key : table.keys()) {
        if (key.kind == KeyTable::Kind::Control && key.display)
            labels.insert(key.name, QVariant(key.labels).toList());
    }
    return labels;
}

QVariantMap ResourceTables::oledNumbers(const KeyTable &table)
{
    QVariantMap numbers;
    for (const KeyTable::Key &key : table.keys()) {
        if (key.display)
            numbers.insert(key.name, qint64(key.display));
    }
    return numbers;
}

QVariantMap ResourceTables::miniPreview(const KeyTable &table)
{
    // Readers flip the rectangle into the icon's bottom-up coordinates as height - y - 2, which
    // is exact for the two-pixel standard key; a taller key is written so that its flipped
    // rectangle still covers its own block.
    QVariantMap rects;
    for (const KeyTable::Key &key : table.keys()) {
        if (!key.display)
            continue;
        QRect rect = table.miniRect(key);
        rect.moveTop(rect.top() + rect.height() - 2);
        rects.insert(key.name, rectString(rect));
    }
    return rects;
}

QVariantMap ResourceTables::blackLayer(const KeyTable &table)
{
    QVariantMap buttons;
    for (const KeyTable::Key &key : table.keys()) {
        if (key.display)
            buttons.insert(key.name, QVariantMap());
    }
    return {
        {storenames::DisplayName, storenames::BlackLayerId},
        {QStringLiteral("Disabled"), false},
        {QStringLiteral("Conditions"), QVariantList()},
        {QStringLiteral("Hybrid"), false},
        {QStringLiteral("Buttons"), buttons},
    };
}

} // namespace brevona
