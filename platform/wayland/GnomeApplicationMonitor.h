#pragma once

#include "wayland/WaylandApplicationMonitor.h"

class QDBusServiceWatcher;

namespace brevona {

// GNOME Shell's windows, through the Shell extension shipped in packaging/ (the user enables it):
// it owns com.kettlewood.Brevona.GnomeShell on the session bus, lists the windows with their
// application ids (GetWindows) and signals each opened, closed and focused window. Signals are
// taken only from that name's owner. An extension enabled after the driver started is picked up
// when its name appears; one disabled takes its windows with it.
class GnomeApplicationMonitor : public WaylandApplicationMonitor
{
    Q_OBJECT
public:
    static constexpr char Service[] = "com.kettlewood.Brevona.GnomeShell";
    static constexpr char ObjectPath[] = "/com/kettlewood/Brevona/GnomeShell";
    static constexpr char Interface[] = "com.kettlewood.Brevona.GnomeShell";

    // `applicationFolders` empty: the XDG "applications" folders.
    explicit GnomeApplicationMonitor(QStringList applicationFolders = {}, QObject *parent = nullptr);
    ~GnomeApplicationMonitor() override;

protected:
    bool connectToCompositor() override;

private Q_SLOTS:
    void onWindowOpened(const QString &id, const QString &appId, const QString &wmClass, int pid);
    void onWindowClosed(const QString &id);
    void onFocusChanged(const QString &id);

private:
    bool readWindows();

    QDBusServiceWatcher *m_watcher = nullptr;
    bool m_subscribed = false;
    bool m_failureLogged = false;
};

} // namespace brevona
