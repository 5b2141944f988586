// Property-list reader: any input reads as a value or as nothing, and whatever reads as a value
// writes again and reads back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QLoggingCategory>

#include "PropertyList.h"

using brevona::PropertyList;

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
    for (const PropertyList::Format format : {PropertyList::Format::Binary, PropertyList::Format::Xml}) {
        const std::optional<QByteArray> written = PropertyList::toData(*value, format);
        if (!written)
            continue; // e.g. a control character read from a binary list has no XML form
        const std::optional<QVariant> reread = PropertyList::fromData(*written);
        if (!reread)
            std::abort();
        const std::optional<QByteArray> rewritten = PropertyList::toData(*reread, format);
        if (!rewritten || *rewritten != *written)
            std::abort();
    }
    return 0;
}
