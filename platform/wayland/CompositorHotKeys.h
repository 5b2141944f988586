#pragma once

#include <map>
#include <optional>

#include <QString>

#include "HotKeyService.h"

namespace brevona {

// The key bindings a compositor holds for this process: the combination each reference binds and
// the hot key it fires. The sway and Hyprland services keep theirs here, so both refuse the same
// requests with the same lines and take back exactly what they made.
class CompositorHotKeys
{
public:
    using Reference = HotKeyService::Reference;

    // Whether a hot key of `keyCode` bound to `combination` may be made; the one-line reason in
    // the log when not (no key code, or the combination is bound already).
    bool mayBind(int keyCode, const QString &combination, const QString &signature) const;
    // The reference the next binding gets; it names the binding in the compositor's command.
    Reference reserve() { return m_next++; }
    void bind(Reference reference, const QString &combination, int id);
    // Forgets the binding and gives its combination, to take back in the compositor.
    std::optional<QString> release(Reference reference);
    std::optional<int> hotKeyOf(Reference reference) const;
    std::optional<Reference> any() const;
    // The compositor went away with its bindings.
    void clear() { m_bindings.clear(); }

private:
    struct Binding
    {
        QString combination;
        int id = 0;
    };

    std::map<Reference, Binding> m_bindings;
    Reference m_next = 1;
};

} // namespace brevona
