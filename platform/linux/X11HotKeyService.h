#pragma once

#include <map>
#include <vector>

#include <QString>

#include <xcb/xcb.h>

#include "HotKeyService.h"

namespace brevona {

class X11AppEventConnection;

// Global hot keys as passive key grabs on the root window. Each hot key is grabbed once for every
// combination of the Caps Lock and Num Lock modifiers, so that it fires whatever lock is on, and
// the grab keeps the press from the focused window. A grab another client already holds is
// refused by the server (BadAccess); the hot key is then not registered.
class X11HotKeyService : public HotKeyService
{
    Q_OBJECT
public:
    // `display` empty means $DISPLAY.
    explicit X11HotKeyService(QString display = {}, QObject *parent = nullptr);
    ~X11HotKeyService() override;

    std::optional<Reference> registerHotKey(int keyCode, int modifiers, const QString &signature,
                                            int id) override;
    bool unregisterHotKey(Reference reference) override;

    // The core-protocol modifier bits of a hot-key mask: Command as Mod4 (Super), Option as Mod1
    // (Alt), Shift and Control as themselves; Caps Lock and unknown bits are dropped.
    static quint16 x11Modifiers(int modifiers);
    // The modifier bit Num_Lock sets in the current keymap; 0 before the first connection or
    // when no modifier holds Num_Lock.
    quint16 numLockMask() const { return m_numLockMask; }

private:
    struct Grab
    {
        xcb_keycode_t keyCode = 0;
        quint16 modifiers = 0;
        int id = 0;
    };

    xcb_connection_t *connection();
    std::vector<quint16> lockVariants() const;
    quint16 readNumLockMask(xcb_connection_t *connection) const;
    // All lock variants or none: a refused variant releases the others.
    bool grab(xcb_connection_t *connection, const Grab &grab);
    void ungrab(xcb_connection_t *connection, const Grab &grab);
    void onEvent(const xcb_generic_event_t &event);
    void onKeymapChanged();

    X11AppEventConnection *m_connection;
    quint64 m_generation = 0;
    quint16 m_numLockMask = 0;
    std::map<Reference, Grab> m_grabs;
    Reference m_nextReference = 1;
};

} // namespace brevona
