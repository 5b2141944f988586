#include "DrawingAttributes.h"

#include <QFile>

#include "KeyLabelPainter.h"
#include "ModelLogging.h"
#include "NullMarker.h"
#include "PlistNumber.h"
#include "PropertyList.h"

namespace brevona {

const QString DrawingAttributes::Size = QStringLiteral("size");
const QString DrawingAttributes::Font = QStringLiteral("font");
const QString DrawingAttributes::Color = QStringLiteral("color");
const QString DrawingAttributes::Background = QStringLiteral("background");
const QString DrawingAttributes::Bold = QStringLiteral("bold");
const QString DrawingAttributes::Italic = QStringLiteral("italic");

namespace {

QColor textGrey()
{
    return QColor::fromRgbF(0.8f, 0.8f, 0.8f);
}

bool isColorKey(const QString &key)
{
    return key == DrawingAttributes::Color || key == DrawingAttributes::Background;
}

// Why a value read from a file cannot stand for its attribute; empty when it can.
QString problem(const QString &key, const QVariant &value)
{
    if (key == DrawingAttributes::Size) {
        if (!isPlistNumber(value) || value.toDouble() <= 0)
            return QStringLiteral("a positive number");
    } else if (key == DrawingAttributes::Font) {
        if (value.typeId() != QMetaType::QString || value.toString().isEmpty())
            return QStringLiteral("a font family name");
    } else if (isColorKey(key)) {
        if (value.typeId() != QMetaType::QString || !QColor::fromString(value.toString()).isValid())
            return QStringLiteral("a colour (\"#aarrggbb\")");
    } else if (key == DrawingAttributes::Bold || key == DrawingAttributes::Italic) {
        if (value.typeId() != QMetaType::Bool)
            return QStringLiteral("a boolean");
    }
    return QString();
}

std::optional<QVariantMap> readDictionary(const QString &path)
{
    if (!QFile::exists(path))
        return QVariantMap();
    auto dictionary = PropertyList::readDictionary(path);
    if (!dictionary) {
        qCWarning(lcModel, "Attribute file %s is not a property-list dictionary; the defaults apply",
                  qUtf8Printable(path));
    }
    return dictionary;
}

} // namespace

QVariantMap DrawingAttributes::languageDefaults()
{
    return {{Size, 28.0},        {Font, KeyLabelPainter::systemSansFamily()},
            {Color, textGrey()}, {Background, QColor(Qt::black)},
            {Bold, false},       {Italic, false}};
}

QVariantMap DrawingAttributes::controlDefaults()
{
    return {{Size, 14.0}, {Color, textGrey()}, {Background, QColor(Qt::black)}};
}

QVariantMap DrawingAttributes::overlaid(const QVariantMap &defaults, const QVariantMap &overrides)
{
    QVariantMap result = defaults;
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
        result.insert(it.key(), it.value());
    return result;
}

QColor DrawingAttributes::color(const QVariant &value)
{
    if (value.typeId() == QMetaType::QColor)
        return value.value<QColor>();
    return QColor::fromString(value.toString());
}

QVariantMap DrawingAttributes::fromFile(const QVariant &entry, const QString &file, const QString &key)
{
    if (entry.typeId() != QMetaType::QVariantMap) {
        qCWarning(lcModel, "Attribute file %s: the entry of %s is not a dictionary; the defaults apply",
                  qUtf8Printable(file), qUtf8Printable(key));
        return {};
    }
    QVariantMap attributes;
    const QVariantMap map = entry.toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const QString expected = problem(it.key(), it.value());
        if (!expected.isEmpty()) {
            qCWarning(lcModel, "Attribute file %s: \"%s\" of %s is not %s; its default applies",
                      qUtf8Printable(file), qUtf8Printable(it.key()), qUtf8Printable(key),
                      qUtf8Printable(expected));
            continue;
        }
        attributes.insert(it.key(), isColorKey(it.key()) ? QVariant(color(it.value())) : it.value());
    }
    return attributes;
}

QVariantMap DrawingAttributes::toFile(const QVariantMap &attributes)
{
    QVariantMap stored;
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        if (isColorKey(it.key()))
            stored.insert(it.key(), color(it.value()).name(QColor::HexArgb));
        else
            stored.insert(it.key(), it.value());
    }
    return stored;
}

void DrawingAttributes::applyEdit(QHash<QString, QVariantMap> &table, const QString &name,
                                  const std::optional<QVariantMap> &edit)
{
    if (!edit) {
        table.remove(name);
        return;
    }
    QVariantMap &overrides = table[name];
    for (auto it = edit->cbegin(); it != edit->cend(); ++it) {
        if (isNullMarker(it.value()))
            overrides.remove(it.key());
        else
            overrides.insert(it.key(), it.value());
    }
    if (overrides.isEmpty())
        table.remove(name);
}

QHash<QString, QVariantMap> DrawingAttributes::readTable(const QString &path)
{
    QHash<QString, QVariantMap> table;
    const auto dictionary = readDictionary(path);
    if (!dictionary)
        return table;
    for (auto it = dictionary->cbegin(); it != dictionary->cend(); ++it) {
        QVariantMap attributes = fromFile(it.value(), path, it.key());
        if (!attributes.isEmpty())
            table.insert(it.key(), attributes);
    }
    return table;
}

bool DrawingAttributes::writeTable(const QString &path, const QHash<QString, QVariantMap> &table)
{
    QVariantMap dictionary;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        dictionary.insert(it.key(), toFile(it.value()));
    if (PropertyList::writeFile(path, dictionary))
        return true;
    qCWarning(lcModel, "Attribute file %s could not be written", qUtf8Printable(path));
    return false;
}

QHash<QString, QString> DrawingAttributes::readStrings(const QString &path)
{
    QHash<QString, QString> table;
    const auto dictionary = readDictionary(path);
    if (!dictionary)
        return table;
    for (auto it = dictionary->cbegin(); it != dictionary->cend(); ++it) {
        if (it.value().typeId() != QMetaType::QString) {
            qCWarning(lcModel, "Attribute file %s: the entry of %s is not a string; the default applies",
                      qUtf8Printable(path), qUtf8Printable(it.key()));
            continue;
        }
        table.insert(it.key(), it.value().toString());
    }
    return table;
}

bool DrawingAttributes::writeStrings(const QString &path, const QHash<QString, QString> &table)
{
    QVariantMap dictionary;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        dictionary.insert(it.key(), it.value());
    if (PropertyList::writeFile(path, dictionary))
        return true;
    qCWarning(lcModel, "Attribute file %s could not be written", qUtf8Printable(path));
    return false;
}

} // namespace brevona
