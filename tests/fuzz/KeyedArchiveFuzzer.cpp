// Keyed-archive decoder: any input decodes to a value or to an error, never a crash or a hang,
// and whatever decodes archives again and decodes to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QLoggingCategory>

#include "KeyedArchive.h"
#include "SameValue.h"

using brevona::KeyedArchive;
using brevona::Result;
using brevona::test::sameValue;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("brevona.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const Result<QVariant> result = KeyedArchive::unarchive(input);
    if (!result) {
        if (result.error().isEmpty())
            std::abort();
        return 0;
    }
    const std::optional<QByteArray> archived = KeyedArchive::archive(*result);
    if (!archived)
        std::abort();
    const Result<QVariant> again = KeyedArchive::unarchive(*archived);
    if (!again || !sameValue(*result, *again))
        std::abort();
    return 0;
}
