// Property-list reader: any input reads as a value or as nothing, never a crash or a hang, and
// whatever reads as a value writes again and reads back unchanged. (libplist's binary writer
// shares equal objects depending on memory addresses, so values are compared, not bytes.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QLoggingCategory>

#include "PropertyList.h"
#include "SameValue.h"

using brevona::PropertyList;
using brevona::test::sameValue;

namespace {

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
