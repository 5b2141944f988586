#include "DBusPlist.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QDateTime>

#include "Logging.h"
#include "NullMarker.h"

namespace brevona::detail {

// A date travels as a struct; QtDBus marshals it through this registered type.
struct DBusDate
{
    QString tag;
    double seconds = 0;
};

QDBusArgument &operator<<(QDBusArgument &argument, const DBusDate &date)
{
    argument.beginStructure();
    argument << date.tag << date.seconds;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusDate &date)
{
    argument.beginStructure();
    argument >> date.tag >> date.seconds;
    argument.endStructure();
    return argument;
}

} // namespace brevona::detail

Q_DECLARE_METATYPE(brevona::detail::DBusDate)

namespace brevona {

namespace {

using detail::DBusDate;
const QString DateTag = QStringLiteral("date");

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<DBusDate>();
        return true;
    }();
    (void)registered;
}

std::optional<QVariant> decode(const QVariant &value, int depth);

std::optional<QVariant> decodeArgument(const QDBusArgument &argument, int depth)
{
    if (depth > DBusPlist::MaxDepth)
        return std::nullopt;
    switch (argument.currentType()) {
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType: {
        QVariant inner = argument.asVariant();
        if (inner.canConvert<QDBusVariant>())
            inner = inner.value<QDBusVariant>().variant();
        return decode(inner, depth + 1);
    }
    case QDBusArgument::ArrayType: {
        if (argument.currentSignature() == QLatin1String("ay")) {
            QByteArray bytes;
            argument >> bytes;
            return QVariant(bytes);
        }
        QVariantList list;
        argument.beginArray();
        while (!argument.atEnd()) {
            const QVariant element = argument.asVariant();
            auto decoded = decode(element, depth + 1);
            if (!decoded)
                return std::nullopt;
            list.append(*decoded);
        }
        argument.endArray();
        return QVariant(list);
    }
    case QDBusArgument::MapType: {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QVariant key = argument.asVariant();
            const QVariant element = argument.asVariant();
            argument.endMapEntry();
            auto decodedKey = decode(key, depth + 1);
            auto decoded = decode(element, depth + 1);
            if (!decodedKey || !decoded || decodedKey->typeId() != QMetaType::QString)
                return std::nullopt;
            map.insert(decodedKey->toString(), *decoded);
        }
        argument.endMap();
        return QVariant(map);
    }
    case QDBusArgument::StructureType: {
        if (argument.currentSignature() != QLatin1String("(sd)"))
            return std::nullopt;
        DBusDate date;
        argument >> date;
        if (date.tag != DateTag)
            return std::nullopt;
        return QVariant(QDateTime::fromMSecsSinceEpoch(qRound64(date.seconds * 1000.0), Qt::UTC));
    }
    default:
        return std::nullopt;
    }
}

std::optional<QVariant> decode(const QVariant &value, int depth)
{
    if (depth > DBusPlist::MaxDepth)
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Double:
    case QMetaType::QByteArray:
        return value;
    case QMetaType::LongLong:
        return value;
    case QMetaType::ULongLong:
        if (value.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
            return QVariant(value.toLongLong());
        return value;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::Char:
    case QMetaType::SChar:
        return QVariant(value.toLongLong());
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QString &s : value.toStringList())
            list.append(s);
        return QVariant(list);
    }
    case QMetaType::QVariantList: {
        QVariantList list;
        for (const QVariant &element : value.toList()) {
            auto decoded = decode(element, depth + 1);
            if (!decoded)
                return std::nullopt;
            list.append(*decoded);
        }
        return QVariant(list);
    }
    case QMetaType::QVariantMap: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.constBegin(); it != source.constEnd(); ++it) {
            auto decoded = decode(it.value(), depth + 1);
            if (!decoded)
                return std::nullopt;
            map.insert(it.key(), *decoded);
        }
        return QVariant(map);
    }
    default:
        break;
    }
    if (value.canConvert<QDBusSignature>() && value.userType() == qMetaTypeId<QDBusSignature>())
        return nullMarker();
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        return decode(value.value<QDBusVariant>().variant(), depth + 1);
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return decodeArgument(value.value<QDBusArgument>(), depth + 1);
    return std::nullopt;
}

QVariant encode(const QVariant &value)
{
    if (isNullMarker(value))
        return QVariant::fromValue(QDBusSignature(QString()));
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.constBegin(); it != source.constEnd(); ++it)
            map.insert(it.key(), encode(it.value()));
        return QVariant(map);
    }
    case QMetaType::QVariantList: {
        QVariantList list;
        for (const QVariant &element : value.toList())
            list.append(encode(element));
        return QVariant(list);
    }
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QString &element : value.toStringList())
            list.append(QVariant(element));
        return QVariant(list);
    }
    case QMetaType::QDateTime: {
        registerTypes();
        const DBusDate date{DateTag, double(value.toDateTime().toMSecsSinceEpoch()) / 1000.0};
        return QVariant::fromValue(date);
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
        return QVariant(value.toLongLong());
    default:
        return value;
    }
}

} // namespace

QVariant DBusPlist::toDBus(const QVariant &value)
{
    registerTypes();
    return encode(value);
}

QVariantMap DBusPlist::toDBus(const QVariantMap &map)
{
    registerTypes();
    QVariantMap result;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        result.insert(it.key(), encode(it.value()));
    return result;
}

std::optional<QVariant> DBusPlist::fromDBus(const QVariant &value)
{
    registerTypes();
    return decode(value, 0);
}

std::optional<QVariantMap> DBusPlist::fromDBus(const QVariantMap &map)
{
    registerTypes();
    QVariantMap result;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        auto decoded = decode(it.value(), 1);
        if (!decoded)
            return std::nullopt;
        result.insert(it.key(), *decoded);
    }
    return result;
}

} // namespace brevona
