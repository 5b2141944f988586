// Keyed-archive decoder: any input decodes to a value or to an error, never a crash or a hang;
// whatever decodes archives again, and that archive decodes and archives to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QLoggingCategory>

#include "KeyedArchive.h"

using brevona::KeyedArchive;

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
    if (!again.value)
        std::abort();
    const std::optional<QByteArray> rearchived = KeyedArchive::archive(*again.value);
    if (!rearchived || *rearchived != *archived)
        std::abort();
    return 0;
}
