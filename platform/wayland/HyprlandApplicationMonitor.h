#pragma once

#include "wayland/WaylandApplicationMonitor.h"

namespace brevona {

class HyprlandSockets;

// Hyprland's windows: "j/clients" and "j/activewindow" when it connects, the event socket's
// "openwindow", "closewindow" and "activewindowv2" lines from then on. An opened window's process
// is read from "j/clients", which the event line lacks. A window's key is its address.
class HyprlandApplicationMonitor : public WaylandApplicationMonitor
{
    Q_OBJECT
public:
    // `folder` empty: the instance folder of $HYPRLAND_INSTANCE_SIGNATURE. `applicationFolders`
    // empty: the XDG "applications" folders.
    explicit HyprlandApplicationMonitor(QString folder = {}, QStringList applicationFolders = {},
                                        QObject *parent = nullptr);
    ~HyprlandApplicationMonitor() override;

protected:
    bool connectToCompositor() override;

private:
    // The window at `address` as "j/clients" lists it; with only the class of the event line when
    // it is not listed.
    Window lookUp(const QString &address, const QString &wmClass);

    HyprlandSockets *m_sockets;
};

} // namespace brevona
