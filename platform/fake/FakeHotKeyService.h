#pragma once

#include <map>
#include <set>
#include <utility>

#include "HotKeyService.h"

namespace brevona {

// Stands for the session's global hot keys in tests: remembers what is registered, can be told
// that a combination belongs to another program or that unregistrations are refused, and presses
// keys as the session would.
class FakeHotKeyService : public HotKeyService
{
    Q_OBJECT
public:
    struct Registration
    {
        int keyCode = 0;
        int modifiers = 0; // without Caps Lock, as the session sees it
        QString signature;
        int id = 0;
    };

    using HotKeyService::HotKeyService;

    std::optional<Reference> registerHotKey(int keyCode, int modifiers, const QString &signature,
                                            int id) override;
    bool unregisterHotKey(Reference reference) override;

    // A key going down with `modifiers` held; true when a hot key took it (hotKeyPressed emitted).
    bool press(int keyCode, int modifiers);
    // Another program holds (or gives up) a combination.
    void setTaken(int keyCode, int modifiers, bool taken);
    void setRefusesUnregistration(bool refuses) { m_refusesUnregistration = refuses; }

    const std::map<Reference, Registration> &registrations() const { return m_registrations; }
    bool isRegistered(int keyCode, int modifiers) const;
    int registerCalls() const { return m_registerCalls; }
    int unregisterCalls() const { return m_unregisterCalls; }
    void resetCounts() { m_registerCalls = m_unregisterCalls = 0; }

    static int sessionModifiers(int modifiers);

private:
    std::map<Reference, Registration> m_registrations;
    std::set<std::pair<int, int>> m_taken;
    Reference m_nextReference = 1;
    bool m_refusesUnregistration = false;
    int m_registerCalls = 0;
    int m_unregisterCalls = 0;
};

} // namespace brevona
