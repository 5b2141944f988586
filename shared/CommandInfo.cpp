#include "CommandInfo.h"

#include "KeyboardData.h"
#include "NullMarker.h"

namespace brevona {

std::optional<QString> CommandInfo::string(const QVariant &value)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<QStringList> CommandInfo::stringList(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    const QVariantList elements = value.toList();
    QStringList strings;
    strings.reserve(elements.size());
    for (const QVariant &element : elements) {
        if (element.typeId() != QMetaType::QString)
            return std::nullopt;
        strings.append(element.toString());
    }
    return strings;
}

std::optional<bool> CommandInfo::boolean(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toLongLong() != 0;
    default:
        return std::nullopt;
    }
}

std::optional<QVariantMap> CommandInfo::dictionary(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value.toMap();
}

std::optional<QVariantList> CommandInfo::list(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList)
        return value.toList();
    return std::nullopt;
}

QString CommandInfo::typeName(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("nothing");
    if (isNullMarker(value))
        return QStringLiteral("the null marker");
    switch (value.typeId()) {
    case QMetaType::QString:
        return QStringLiteral("a string");
    case QMetaType::Bool:
        return QStringLiteral("a boolean");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QStringLiteral("an integer");
    case QMetaType::Double:
    case QMetaType::Float:
        return QStringLiteral("a real");
    case QMetaType::QByteArray:
        return QStringLiteral("data");
    case QMetaType::QDateTime:
        return QStringLiteral("a date");
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        return QStringLiteral("an array");
    case QMetaType::QVariantMap:
        return QStringLiteral("a dictionary");
    default:
        return QString::fromLatin1(value.metaType().name());
    }
}

QString CommandInfo::summarize(const QStringList &keys)
{
    constexpr qsizetype shown = 5;
    constexpr qsizetype longest = 40;
    QStringList printable;
    for (const QString &key : keys.mid(0, shown)) {
        // Names come from outside: they must not break the log line or flood it.
        QString name = key.left(longest);
        for (QChar &c : name) {
            if (!c.isPrint())
                c = QLatin1Char('?');
        }
        printable.append(name);
    }
    QString text = printable.join(QStringLiteral(", "));
    if (keys.size() > shown)
        text += QStringLiteral(" and %1 more").arg(keys.size() - shown);
    return text;
}

bool CommandInfo::isKnownKey(const QString &name)
{
    const KeyboardData &keyboard = KeyboardData::shared();
    return keyboard.isEmpty() || keyboard.key(name) != nullptr;
}

} // namespace brevona
