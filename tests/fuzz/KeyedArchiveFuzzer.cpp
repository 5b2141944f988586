// Keyed-archive decoder: any input decodes to a value or to an error, never a crash or a hang,
// and whatever decodes archives again and decodes to the same value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <QByteArray>
#include <QLoggingCategory>

#include "KeyedArchive.h"

using brevona::KeyedArchive;

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

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("brevona.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const KeyedArchive::Result result = KeyedArchive::unarchive(input);
    if (!result.value) {
        if (result.error.isEmpty())
            std::abort();
        return 0;
    }
    const std::optional<QByteArray> archived = KeyedArchive::archive(*result.value);
    if (!archived)
        std::abort();
    const KeyedArchive::Result again = KeyedArchive::unarchive(*archived);
    if (!again.value || !sameValue(*result.value, *again.value))
        std::abort();
    return 0;
}
