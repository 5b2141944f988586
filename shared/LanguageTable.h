#pragma once

#include <optional>

#include <QString>

namespace brevona {

// The number that stands for a keyboard layout in condition records ("LanguageID") and in the names
// of the built-in language layers ("Language%d"). The driver and the configurator both derive it
// from the layout's name as the session's input-language source gives it ("de",
// "de(nodeadkeys)"), so a record written by one means the same layout to the other.
// Well-known layouts have fixed small numbers ("us" 0, "gb" 2, ...); any other name gets a number
// computed from the name alone, the same on every machine and in every run.
class LanguageTable
{
public:
    // Derived numbers start here, clear of every fixed one.
    static constexpr int FirstDerivedIdentifier = 1000;

    // The identifier of a layout name; 0 (the US layout's) for an empty name.
    static int identifierForLayout(const QString &name);
    // The well-known layout with this identifier; nothing for derived or unused numbers.
    static std::optional<QString> knownLayoutForIdentifier(int identifier);
};

} // namespace brevona
