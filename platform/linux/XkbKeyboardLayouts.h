#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include <QHash>
#include <QString>

#include "KeyboardLayouts.h"

struct xkb_context;
struct xkb_keymap;

namespace brevona {

// Layout names from the XKB registry (libxkbregistry, the "evdev" rules), translated with the
// xkeyboard-config message catalogue; key translation with a keymap that libxkbcommon compiles
// from the layout's name, without any display. Keymaps are compiled once per layout and kept.
class XkbKeyboardLayouts : public KeyboardLayouts
{
public:
    XkbKeyboardLayouts();
    ~XkbKeyboardLayouts() override;

    std::optional<QString> displayName(const QString &layout) override;
    std::optional<QString> characters(const QString &layout, int keyCode, unsigned modifiers) override;

    // "de(nodeadkeys)" as layout "de" and variant "nodeadkeys"; nothing for a name XKB could not
    // hold (only letters, digits, '_', '-' and '+' are allowed in either part).
    static std::optional<std::pair<QString, QString>> splitName(const QString &layout);
    // The spacing character of a dead keysym ("´" for dead_acute); empty for any other keysym.
    static QString spacingCharacterOfDeadKey(quint32 keysym);

private:
    struct Keymap;

    std::shared_ptr<const Keymap> keymap(const QString &layout);
    void loadRegistry();

    std::mutex m_lock;
    xkb_context *m_context = nullptr;
    QHash<QString, std::shared_ptr<const Keymap>> m_keymaps; // a failed layout: nullptr
    std::optional<QHash<QString, QString>> m_descriptions;
};

} // namespace brevona
