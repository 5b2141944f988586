#pragma once

#include <QString>

#include "HotKeyService.h"
#include "wayland/CompositorHotKeys.h"

namespace brevona {

class HyprlandSockets;

// Global hot keys as Hyprland key bindings made at run time through its request socket ("keyword
// bind"): each hot key binds its key code with its modifiers to a dispatcher that runs dbus-send,
// which calls this object on the session bus with a token naming this process and the hot key.
// Hyprland keeps the press from the focused window. The bindings are removed on release and when
// the program quits; a reload of Hyprland's configuration drops them, and a binding left by a
// driver that died calls a bus name that is gone.
class HyprlandHotKeyService : public HotKeyService
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.kettlewood.Brevona.HyprlandHotKeys")
public:
    static constexpr char ObjectPath[] = "/com/kettlewood/Brevona/HyprlandHotKeys";

    // `folder` empty: the instance folder of $HYPRLAND_INSTANCE_SIGNATURE.
    explicit HyprlandHotKeyService(QString folder = {}, QObject *parent = nullptr);
    ~HyprlandHotKeyService() override;

    std::optional<Reference> registerHotKey(int keyCode, int modifiers, const QString &signature,
                                            int id) override;
    bool unregisterHotKey(Reference reference) override;
    void releaseAll();

    // Hyprland's modifiers and key of a hot key ("SUPER SHIFT,code:38").
    static QString combination(int keyCode, int modifiers);
    // The token a binding of this process sends for `reference`.
    static QString tokenFor(qint64 process, Reference reference);

public Q_SLOTS:
    // What the bindings' dbus-send calls.
    Q_SCRIPTABLE void Pressed(const QString &token);

private:
    bool keyword(const QString &arguments, const QString &what);

    HyprlandSockets *m_sockets;
    bool m_registered = false;
    CompositorHotKeys m_bindings;
};

} // namespace brevona
