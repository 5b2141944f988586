#pragma once

#include <optional>

#include <QObject>
#include <QString>

namespace brevona {

// Modifier bits of a hot key: the same mask the modifier conditions use.
namespace hotkey_modifiers {
constexpr int Command = 0x100;
constexpr int Shift = 0x200;
constexpr int CapsLock = 0x400;
constexpr int Option = 0x800;
constexpr int Control = 0x1000;
} // namespace hotkey_modifiers

// The session's global hot keys: a key code with a modifier combination, taken exclusively so
// that the key press reaches no application. Main thread only.
class HotKeyService : public QObject
{
    Q_OBJECT
public:
    using Reference = quint64;

    using QObject::QObject;
    ~HotKeyService() override;

    // Takes `keyCode` (the key's "Char") with `modifiers` (hotkey_modifiers bits; Caps Lock and
    // any other bit are ignored, so the hot key fires whatever lock is on). hotKeyPressed(id)
    // follows each press. Nothing when the combination is taken, by this or another program, or
    // the session offers no hot keys.
    virtual std::optional<Reference> registerHotKey(int keyCode, int modifiers, const QString &signature,
                                                    int id) = 0;
    // False when the reference names no hot key of this service or the session refused.
    virtual bool unregisterHotKey(Reference reference) = 0;

    // The process-wide instance: the session's (X11, or the Wayland compositor's backend that
    // WaylandBackends chose) unless a test installed another (the caller keeps ownership; nullptr
    // returns to the session's). Main thread only.
    static HotKeyService &instance();
    static void setInstance(HotKeyService *service);

Q_SIGNALS:
    void hotKeyPressed(int id);
};

} // namespace brevona
