#include "wayland/CompositorHotKeys.h"

#include "WaylandBackends.h"

namespace brevona {

namespace {

// X key codes: evdev codes plus 8.
constexpr int kMinKeyCode = 8;
constexpr int kMaxKeyCode = 255;

} // namespace

bool CompositorHotKeys::mayBind(int keyCode, const QString &combination, const QString &signature) const
{
    if (keyCode < kMinKeyCode || keyCode > kMaxKeyCode) {
        qCWarning(lcWayland).noquote() << "Hot key" << signature << "has no key code:" << keyCode;
        return false;
    }
    for (const auto &[reference, held] : m_bindings) {
        if (held.combination == combination) {
            qCWarning(lcWayland).noquote()
                << "Hot key" << signature << "is taken already by hot key" << held.id;
            return false;
        }
    }
    return true;
}

void CompositorHotKeys::bind(Reference reference, const QString &combination, int id)
{
    m_bindings.insert_or_assign(reference, Binding{combination, id});
}

std::optional<QString> CompositorHotKeys::release(Reference reference)
{
    const auto found = m_bindings.find(reference);
    if (found == m_bindings.end())
        return std::nullopt;
    const QString combination = found->second.combination;
    m_bindings.erase(found);
    return combination;
}

std::optional<int> CompositorHotKeys::hotKeyOf(Reference reference) const
{
    const auto found = m_bindings.find(reference);
    return found == m_bindings.end() ? std::nullopt : std::optional<int>(found->second.id);
}

std::optional<CompositorHotKeys::Reference> CompositorHotKeys::any() const
{
    return m_bindings.empty() ? std::nullopt : std::optional<Reference>(m_bindings.begin()->first);
}

} // namespace brevona
