#pragma once

#include <QString>

namespace brevona {

// Turns a key of the keyboard into the character(s) an input language types with it. The language
// layers draw their key pictures from it; the system helpers implement it on the session's keyboard
// layouts, tests with a small table.
class KeyTranslator
{
public:
    // The modifier bits of `modifierMask` (the same bits conditions use).
    static constexpr unsigned kShift = 0x0200;
    static constexpr unsigned kCapsLock = 0x0400;
    static constexpr unsigned kOption = 0x0800; // the third level (AltGr)

    virtual ~KeyTranslator() = default;

    // The text a key-down of `keyName` (a button identifier, e.g. "Q") produces in the layout
    // `layoutName` ("us", "de(nodeadkeys)") with the given modifiers held. A dead key gives its
    // spacing character. Empty when the layout is unknown or the key produces nothing.
    virtual QString characters(const QString &layoutName, const QString &keyName,
                               unsigned modifierMask) const = 0;
};

} // namespace brevona
