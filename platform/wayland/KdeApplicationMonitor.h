#pragma once

#include <functional>
#include <map>

#include <QDBusContext>
#include <QList>

#include "wayland/WaylandApplicationMonitor.h"

namespace brevona {

// KDE Plasma's windows, as KWin itself sees them: a small KWin script, loaded through KWin's
// scripting interface (org.kde.KWin /Scripting), lists the windows when it starts and reports each
// new, closed and activated window to this object on the session bus, with the window's desktop
// file name, resource class and pid. Only calls from KWin's own connection are taken. The script
// is unloaded when the monitor goes; one left by a driver that died reports to a bus name that is
// gone, and the next start replaces it.
class KdeApplicationMonitor : public WaylandApplicationMonitor, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.kettlewood.Brevona.KWinWindows")
public:
    // The object path the script calls.
    static constexpr char ObjectPath[] = "/com/kettlewood/Brevona/KWinWindows";
    // The script's name in KWin: one per program ("brevona-windows-BrevonaDriver"), so that the
    // driver and the configurator keep a script each and a program's restart replaces its own.
    static QString pluginName();

    // `applicationFolders` empty: the XDG "applications" folders.
    explicit KdeApplicationMonitor(QStringList applicationFolders = {}, QObject *parent = nullptr);
    ~KdeApplicationMonitor() override;

    // The script's text, reporting to `destination` (a bus name) at ObjectPath.
    static QString script(const QString &destination);

public Q_SLOTS:
    // What the script calls, each report numbered from 0 in the order it was sent. A listing runs
    // from beginListing to endListing.
    Q_SCRIPTABLE void beginListing(int sequence);
    Q_SCRIPTABLE void endListing(int sequence, const QString &activeId);
    Q_SCRIPTABLE void windowAdded(int sequence, const QString &id, const QString &desktopFileName,
                                  const QString &resourceClass, int pid);
    Q_SCRIPTABLE void windowRemoved(int sequence, const QString &id);
    Q_SCRIPTABLE void windowActivated(int sequence, const QString &id);

protected:
    bool connectToCompositor() override;

private:
    bool fromKWin();
    // Runs KWin's report `sequence` once every earlier one has run; reports not from KWin, and
    // numbers already taken, are dropped.
    void inOrder(int sequence, std::function<void()> report);
    // Says once why the windows cannot be followed; false.
    bool failed(const QString &reason);
    void unloadScript();

    bool m_registered = false;
    bool m_loaded = false;
    bool m_failureLogged = false;
    bool m_listing = false;
    QList<Window> m_listed;
    int m_nextSequence = 0;
    std::map<int, std::function<void()>> m_waiting;
};

} // namespace brevona
