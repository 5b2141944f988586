// Property-list reader: any input reads as a value or as nothing, never a crash or a hang, and
// whatever reads as a value writes again and reads back unchanged. (libplist's binary writer
// shares equal objects depending on memory addresses, so values are compared, not bytes.)
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <QByteArray>
#include <QLoggingCategory>

#include "PropertyList.h"

using brevona::PropertyList;

namespace {

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.typeId() != b.typeId())
        return false;
    switch (a.typeId()) {
    case QMetaType::Double: {
        const double x = a.toDouble();
        const double y = b.toDouble();
        return (std::isnan(x) && std::isnan(y)) || std::memcmp(&x, &y, sizeof x) == 0;
    }
    case QMetaType::QVariantList: {
        const QVariantList x = a.toList();
        const QVariantList y = b.toList();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i)
            if (!sameValue(x[i], y[i]))
                return false;
        return true;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap x = a.toMap();
        const QVariantMap y = b.toMap();
        if (x.keys() != y.keys())
            return false;
        for (auto it = x.cbegin(); it != x.cend(); ++it)
            if (!sameValue(it.value(), y.value(it.key())))
                return false;
        return true;
    }
    default:
        return a == b;
    }
}

std::optional<QVariant> writeAndRead(const QVariant &value, PropertyList::Format format)
{
    const std::optional<QByteArray> written = PropertyList::toData(value, format);
    if (!written)
        return std::nullopt;
    const std::optional<QVariant> reread = PropertyList::fromData(*written);
    if (!reread)
        std::abort(); // we wrote something we cannot read
    return reread;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("brevona.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::optional<QVariant> value = PropertyList::fromData(input);
    if (!value)
        return 0;
    // Binary keeps every value read; it has no reason to refuse one.
    const std::optional<QVariant> binary = writeAndRead(*value, PropertyList::Format::Binary);
    if (!binary || !sameValue(*value, *binary))
        std::abort();
    // XML has whole-second dates and may refuse characters, so it is stable from its own output on.
    if (const std::optional<QVariant> xml = writeAndRead(*value, PropertyList::Format::Xml)) {
        const std::optional<QVariant> again = writeAndRead(*xml, PropertyList::Format::Xml);
        if (!again || !sameValue(*xml, *again))
            std::abort();
    }
    return 0;
}
