#pragma once

#include <QString>

#include "HotKeyService.h"
#include "wayland/CompositorHotKeys.h"

namespace brevona {

class SwayIpcClient;

// Global hot keys as sway key bindings made at run time: each hot key binds its key code with its
// modifiers to a "nop" command that names this process and the hot key, and the binding events
// that sway sends when one runs are turned into presses. sway keeps the press from the focused
// window. The bindings are removed on release and when the program quits; one left by a driver
// that died does nothing, since its command names a process that is gone.
class SwayHotKeyService : public HotKeyService
{
    Q_OBJECT
public:
    // `socketPath` empty: $SWAYSOCK.
    explicit SwayHotKeyService(QString socketPath = {}, QObject *parent = nullptr);
    ~SwayHotKeyService() override;

    std::optional<Reference> registerHotKey(int keyCode, int modifiers, const QString &signature,
                                            int id) override;
    bool unregisterHotKey(Reference reference) override;
    // Removes every binding this service made.
    void releaseAll();

    // sway's key combination of a hot key: its modifiers by sway's names, then the key code
    // ("Mod4+Shift+38").
    static QString combination(int keyCode, int modifiers);
    // The "nop" command a binding of this process runs for `reference`, and back.
    static QString commandFor(qint64 process, Reference reference);
    static std::optional<Reference> referenceOf(const QString &command, qint64 process);

private:
    bool ready();
    bool run(const QString &command, const QString &what);
    void handleEvent(quint32 type, const QByteArray &payload);

    SwayIpcClient *m_ipc;
    bool m_subscribed = false;
    CompositorHotKeys m_bindings;
};

} // namespace brevona
