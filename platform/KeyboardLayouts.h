#pragma once

#include <optional>

#include <QString>

namespace brevona {

// What the system knows about keyboard layouts by name ("us", "de(nodeadkeys)", as
// InputLanguageSource names them): their human names and the characters their keys type. Answers
// about any installed layout, not only the session's. Thread-safe: language pictures are drawn on
// worker threads too.
class KeyboardLayouts
{
public:
    // Modifiers held for a translation.
    enum Modifier : unsigned
    {
        Shift = 0x1,
        CapsLock = 0x2,
        ThirdLevel = 0x4, // AltGr, Option
    };

    virtual ~KeyboardLayouts();

    // The layout's name for people, in the user's language where a translation exists
    // ("German (no dead keys)"); nothing for a layout the system does not know.
    virtual std::optional<QString> displayName(const QString &layout) = 0;
    // The text a key-down of the X11 key code `keyCode` types in the layout with `modifiers`
    // (Modifier bits) held; a dead key gives its spacing character; empty when the key types
    // nothing. Nothing (with one log line per layout) when the layout cannot be loaded.
    virtual std::optional<QString> characters(const QString &layout, int keyCode, unsigned modifiers) = 0;

    // The process-wide instance: the system's XKB data unless a test installed another (the caller
    // keeps ownership; nullptr returns to the system's).
    static KeyboardLayouts &instance();
    static void setInstance(KeyboardLayouts *layouts);
};

} // namespace brevona
