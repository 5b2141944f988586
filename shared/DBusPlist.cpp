#include "DBusPlist.h"

#include <cmath>
#include <limits>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QDateTime>

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
// QtDBus refuses to marshal the empty signature, which outside clients send for the marker.
const QString NullMarkerSignature = QStringLiteral("v");
// Variants may wrap variants without adding a container; this bounds the recursion all the same.
constexpr int MaxHops = DBusPlist::MaxDepth * 4;

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<DBusDate>();
        return true;
    }();
    (void)registered;
}

QString tooDeep()
{
    return QStringLiteral("arrays and dictionaries nested deeper than %1 levels").arg(DBusPlist::MaxDepth);
}

// Walks what QtDBus delivered. `level` counts the arrays and dictionaries around `value`, `hops`
// every step of the walk from the top.
class Decoder
{
public:
    QString error;

    std::optional<QVariant> decode(const QVariant &value, int level, int hops)
    {
        if (hops > MaxHops)
            return fail(tooDeep());
        switch (value.typeId()) {
        case QMetaType::QString:
        case QMetaType::Bool:
        case QMetaType::Double:
        case QMetaType::QByteArray:
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
            if (level + 1 > DBusPlist::MaxDepth)
                return fail(tooDeep());
            QVariantList list;
            for (const QString &s : value.toStringList())
                list.append(s);
            return QVariant(list);
        }
        case QMetaType::QVariantList: {
            if (level + 1 > DBusPlist::MaxDepth)
                return fail(tooDeep());
            QVariantList list;
            for (const QVariant &element : value.toList()) {
                auto decoded = decode(element, level + 1, hops + 1);
                if (!decoded)
                    return std::nullopt;
                list.append(*decoded);
            }
            return QVariant(list);
        }
        case QMetaType::QVariantMap: {
            if (level + 1 > DBusPlist::MaxDepth)
                return fail(tooDeep());
            QVariantMap map;
            const QVariantMap source = value.toMap();
            for (auto it = source.constBegin(); it != source.constEnd(); ++it) {
                auto decoded = decode(it.value(), level + 1, hops + 1);
                if (!decoded)
                    return std::nullopt;
                map.insert(it.key(), *decoded);
            }
            return QVariant(map);
        }
        default:
            break;
        }
        // No property-list value travels as a signature: any signature is the null marker.
        if (value.userType() == qMetaTypeId<QDBusSignature>())
            return nullMarker();
        if (value.userType() == qMetaTypeId<QDBusVariant>())
            return decode(value.value<QDBusVariant>().variant(), level, hops + 1);
        if (value.userType() == qMetaTypeId<QDBusArgument>())
            return decodeArgument(value.value<QDBusArgument>(), level, hops + 1);
        return fail(
            QStringLiteral("a value of type %1, which has no property-list form")
                .arg(QString::fromLatin1(value.metaType().name() ? value.metaType().name() : "none")));
    }

private:
    std::optional<QVariant> fail(const QString &reason)
    {
        if (error.isEmpty())
            error = reason;
        return std::nullopt;
    }

    std::optional<QVariant> decodeArgument(const QDBusArgument &argument, int level, int hops)
    {
        if (hops > MaxHops)
            return fail(tooDeep());
        switch (argument.currentType()) {
        case QDBusArgument::BasicType:
        case QDBusArgument::VariantType:
            return decode(argument.asVariant(), level, hops + 1);
        case QDBusArgument::ArrayType: {
            if (level + 1 > DBusPlist::MaxDepth)
                return fail(tooDeep());
            if (argument.currentSignature() == QLatin1String("ay")) {
                QByteArray bytes;
                argument >> bytes;
                return QVariant(bytes);
            }
            // QtDBus frees a nested reader only when the container is closed: after a refused
            // element the rest is read through all the same.
            QVariantList list;
            bool valid = true;
            argument.beginArray();
            while (!argument.atEnd()) {
                const QVariant element = argument.asVariant();
                if (!valid)
                    continue;
                auto decoded = decode(element, level + 1, hops + 1);
                if (decoded)
                    list.append(*decoded);
                else
                    valid = false;
            }
            argument.endArray();
            if (!valid)
                return std::nullopt;
            return QVariant(list);
        }
        case QDBusArgument::MapType: {
            if (level + 1 > DBusPlist::MaxDepth)
                return fail(tooDeep());
            QVariantMap map;
            bool valid = true;
            argument.beginMap();
            while (!argument.atEnd()) {
                argument.beginMapEntry();
                const QVariant key = argument.asVariant();
                const QVariant element = argument.asVariant();
                argument.endMapEntry();
                if (!valid)
                    continue;
                if (key.typeId() != QMetaType::QString) {
                    fail(QStringLiteral("a dictionary key that is not a string"));
                    valid = false;
                    continue;
                }
                auto decoded = decode(element, level + 1, hops + 1);
                if (decoded)
                    map.insert(key.toString(), *decoded);
                else
                    valid = false;
            }
            argument.endMap();
            if (!valid)
                return std::nullopt;
            return QVariant(map);
        }
        case QDBusArgument::StructureType: {
            if (argument.currentSignature() != QLatin1String("(sd)"))
                return fail(
                    QStringLiteral("a structure %1 that is not a date").arg(argument.currentSignature()));
            DBusDate date;
            argument >> date;
            if (date.tag != DateTag || !std::isfinite(date.seconds))
                return fail(QStringLiteral("a structure (sd) that is not a date"));
            // Property lists know the years 1 to 9999 only.
            if (date.seconds < -62135596800.0 || date.seconds >= 253402300800.0)
                return fail(QStringLiteral("a date out of range"));
            const QDateTime when = QDateTime::fromMSecsSinceEpoch(qRound64(date.seconds * 1000.0), Qt::UTC);
            if (!when.isValid())
                return fail(QStringLiteral("a date out of range"));
            return QVariant(when);
        }
        default:
            return fail(QStringLiteral("a value of D-Bus type %1, which has no property-list form")
                            .arg(argument.currentSignature()));
        }
    }
};

class Encoder
{
public:
    QString error;

    // `wire` is the D-Bus container depth the value sits at (variants, arrays and dictionary
    // entries all count); the bus refuses messages nested deeper than MaxWireDepth.
    std::optional<QVariant> encode(const QVariant &value, int level, int wire)
    {
        // Every value travels inside a variant.
        ++wire;
        if (wire > DBusPlist::MaxWireDepth)
            return fail(QStringLiteral("values nested deeper than the bus carries"));
        if (isNullMarker(value))
            return QVariant::fromValue(QDBusSignature(NullMarkerSignature));
        switch (value.typeId()) {
        case QMetaType::QString:
        case QMetaType::Bool:
        case QMetaType::Double:
        case QMetaType::QByteArray:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return value;
        case QMetaType::Float:
            return QVariant(value.toDouble());
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
            return QVariant(value.toLongLong());
        case QMetaType::ULong:
            if (value.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
                return QVariant(value.toLongLong());
            return QVariant(value.toULongLong());
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash: {
            if (level + 1 > DBusPlist::MaxDepth)
                return fail(tooDeep());
            QVariantMap map;
            if (value.typeId() == QMetaType::QVariantMap) {
                const QVariantMap source = value.toMap();
                for (auto it = source.constBegin(); it != source.constEnd(); ++it) {
                    auto encoded = encode(it.value(), level + 1, wire + 2);
                    if (!encoded)
                        return std::nullopt;
                    map.insert(it.key(), *encoded);
                }
            } else {
                const QVariantHash source = value.toHash();
                for (auto it = source.constBegin(); it != source.constEnd(); ++it) {
                    auto encoded = encode(it.value(), level + 1, wire + 2);
                    if (!encoded)
                        return std::nullopt;
                    map.insert(it.key(), *encoded);
                }
            }
            return QVariant(map);
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList: {
            if (level + 1 > DBusPlist::MaxDepth)
                return fail(tooDeep());
            QVariantList list;
            for (const QVariant &element : value.toList()) {
                auto encoded = encode(element, level + 1, wire + 1);
                if (!encoded)
                    return std::nullopt;
                list.append(*encoded);
            }
            return QVariant(list);
        }
        case QMetaType::QDateTime: {
            if (wire + 1 > DBusPlist::MaxWireDepth)
                return fail(QStringLiteral("values nested deeper than the bus carries"));
            const QDateTime when = value.toDateTime();
            if (!when.isValid())
                return fail(QStringLiteral("an invalid date"));
            const DBusDate date{DateTag, double(when.toMSecsSinceEpoch()) / 1000.0};
            return QVariant::fromValue(date);
        }
        default:
            return fail(
                QStringLiteral("a value of type %1, which has no property-list form")
                    .arg(QString::fromLatin1(value.metaType().name() ? value.metaType().name() : "none")));
        }
    }

private:
    std::optional<QVariant> fail(const QString &reason)
    {
        if (error.isEmpty())
            error = reason;
        return std::nullopt;
    }
};

template<typename Result>
std::optional<Result> report(std::optional<Result> result, const QString &reason, QString *error)
{
    if (!result && error)
        *error = reason;
    return result;
}

} // namespace

std::optional<QVariant> DBusPlist::toDBus(const QVariant &value, QString *error)
{
    registerTypes();
    Encoder encoder;
    return report(encoder.encode(value, 0, 0), encoder.error, error);
}

std::optional<QVariantMap> DBusPlist::toDBus(const QVariantMap &map, QString *error)
{
    registerTypes();
    Encoder encoder;
    QVariantMap result;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        // The info itself is an array of dictionary entries.
        auto encoded = encoder.encode(it.value(), 1, 2);
        if (!encoded)
            return report<QVariantMap>(std::nullopt, encoder.error, error);
        result.insert(it.key(), *encoded);
    }
    return result;
}

std::optional<QVariant> DBusPlist::fromDBus(const QVariant &value, QString *error)
{
    registerTypes();
    Decoder decoder;
    return report(decoder.decode(value, 0, 0), decoder.error, error);
}

std::optional<QVariantMap> DBusPlist::fromDBus(const QVariantMap &map, QString *error)
{
    registerTypes();
    Decoder decoder;
    QVariantMap result;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        auto decoded = decoder.decode(it.value(), 1, 1);
        if (!decoded)
            return report<QVariantMap>(std::nullopt, decoder.error, error);
        result.insert(it.key(), *decoded);
    }
    return result;
}

} // namespace brevona
