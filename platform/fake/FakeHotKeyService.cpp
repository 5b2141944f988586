#include "FakeHotKeyService.h"

namespace brevona {

int FakeHotKeyService::sessionModifiers(int modifiers)
{
    return modifiers & (hotkey_modifiers::Command | hotkey_modifiers::Shift | hotkey_modifiers::Option |
                        hotkey_modifiers::Control);
}

bool FakeHotKeyService::isRegistered(int keyCode, int modifiers) const
{
    for (const auto &[reference, registration] : m_registrations) {
        if (registration.keyCode == keyCode && registration.modifiers == sessionModifiers(modifiers))
            return true;
    }
    return false;
}

std::optional<HotKeyService::Reference> FakeHotKeyService::registerHotKey(int keyCode, int modifiers,
                                                                          const QString &signature, int id)
{
    ++m_registerCalls;
    const int held = sessionModifiers(modifiers);
    if (keyCode <= 0 || m_taken.count({keyCode, held}) != 0 || isRegistered(keyCode, held))
        return std::nullopt;
    const Reference reference = m_nextReference++;
    m_registrations.emplace(reference, Registration{keyCode, held, signature, id});
    return reference;
}

bool FakeHotKeyService::unregisterHotKey(Reference reference)
{
    ++m_unregisterCalls;
    if (m_refusesUnregistration)
        return false;
    return m_registrations.erase(reference) != 0;
}

bool FakeHotKeyService::press(int keyCode, int modifiers)
{
    for (const auto &[reference, registration] : m_registrations) {
        if (registration.keyCode == keyCode && registration.modifiers == sessionModifiers(modifiers)) {
            Q_EMIT hotKeyPressed(registration.id);
            return true;
        }
    }
    return false;
}

void FakeHotKeyService::setTaken(int keyCode, int modifiers, bool taken)
{
    if (taken)
        m_taken.insert({keyCode, sessionModifiers(modifiers)});
    else
        m_taken.erase({keyCode, sessionModifiers(modifiers)});
}

} // namespace brevona
