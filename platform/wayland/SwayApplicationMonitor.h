#pragma once

#include "wayland/WaylandApplicationMonitor.h"

namespace brevona {

class SwayIpcClient;

// sway's windows: the tree for the windows that exist when it connects, window events ("new",
// "close", "focus") from then on, and workspace events for a focus that moves to an empty
// workspace. A window's key is its container id.
class SwayApplicationMonitor : public WaylandApplicationMonitor
{
    Q_OBJECT
public:
    // `socketPath` empty: $SWAYSOCK. `applicationFolders` empty: the XDG "applications" folders.
    explicit SwayApplicationMonitor(QString socketPath = {}, QStringList applicationFolders = {},
                                    QObject *parent = nullptr);
    ~SwayApplicationMonitor() override;

protected:
    bool connectToCompositor() override;

private:
    void handleEvent(quint32 type, const QByteArray &payload);

    SwayIpcClient *m_ipc;
};

} // namespace brevona
