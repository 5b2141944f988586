#include "WaylandApplicationMonitor.h"

#include <QFile>

#include "linux/DesktopEntriesWatch.h"

namespace brevona {

namespace {

// A compositor that could not be reached is asked again after this long.
constexpr int kRetryMilliseconds = 5000;

} // namespace

WaylandApplicationMonitor::WaylandApplicationMonitor(QStringList applicationFolders, QObject *parent)
    : ApplicationMonitor(parent)
    , m_applicationFolders(std::move(applicationFolders))
{}

WaylandApplicationMonitor::~WaylandApplicationMonitor() = default;

WindowIdentity WaylandApplicationMonitor::identityOf(const QString &appId, const QString &wmClass,
                                                     const QString &wmInstance, qint64 pid)
{
    WindowIdentity identity;
    identity.gtkApplicationId = appId;
    identity.wmClass = wmClass.isEmpty() ? appId : wmClass;
    identity.wmInstance = wmInstance;
    if (pid > 0) {
        const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
        if (!executable.endsWith(QLatin1String(" (deleted)")))
            identity.executable = executable;
    }
    return identity;
}

bool WaylandApplicationMonitor::ready()
{
    if (!m_entries)
        m_entries = std::make_unique<DesktopEntries>(m_applicationFolders);
    if (!m_connected && m_nextAttempt.hasExpired()) {
        m_connected = connectToCompositor();
        // A compositor that cannot be reached is not asked again at every question.
        if (!m_connected)
            m_nextAttempt.setRemainingTime(kRetryMilliseconds);
        // Whoever asked was told "nothing": what the compositor shows later is news.
        m_announce = true;
    }
    return m_connected;
}

void WaylandApplicationMonitor::startWatching()
{
    if (ready())
        watchFolders();
}

std::optional<QSet<QString>> WaylandApplicationMonitor::runningApplications()
{
    if (!ready())
        return std::nullopt;
    QSet<QString> running;
    for (auto it = m_applications.constBegin(); it != m_applications.constEnd(); ++it)
        running.insert(it.key());
    return running;
}

QString WaylandApplicationMonitor::foregroundApplication()
{
    return ready() ? m_foreground : QString();
}

QString WaylandApplicationMonitor::identifierOf(const WindowIdentity &identity)
{
    if (!m_entries)
        m_entries = std::make_unique<DesktopEntries>(m_applicationFolders);
    return m_entries->identifierFor(identity);
}

void WaylandApplicationMonitor::replaceWindows(const QList<Window> &windows, const QString &focusedKey)
{
    // A compositor that lists its windows is connected, also when it came by itself.
    m_connected = true;
    QSet<QString> present;
    for (const Window &window : windows) {
        present.insert(window.key);
        if (!m_windows.contains(window.key))
            addWindow(window.key, identifierOf(window.identity));
    }
    const QStringList known = m_windows.keys();
    for (const QString &key : known) {
        if (!present.contains(key))
            windowClosed(key);
    }
    windowFocused(focusedKey);
    m_announce = true;
}

void WaylandApplicationMonitor::windowOpened(const Window &window)
{
    if (!m_windows.contains(window.key))
        addWindow(window.key, identifierOf(window.identity));
}

void WaylandApplicationMonitor::addWindow(const QString &key, const QString &identifier)
{
    m_windows.insert(key, identifier);
    if (identifier.isEmpty())
        return;
    const bool launched = !m_applications.contains(identifier);
    ++m_applications[identifier];
    if (launched && m_announce)
        Q_EMIT applicationLaunched(identifier);
}

void WaylandApplicationMonitor::windowClosed(const QString &key)
{
    const auto found = m_windows.constFind(key);
    if (found == m_windows.constEnd())
        return;
    const QString identifier = *found;
    m_windows.erase(found);
    if (key == m_foregroundKey) {
        m_foregroundKey.clear();
        setForeground(QString());
    }
    const auto application = m_applications.find(identifier);
    if (identifier.isEmpty() || application == m_applications.end() || --*application > 0)
        return;
    m_applications.erase(application);
    Q_EMIT applicationTerminated(identifier);
}

void WaylandApplicationMonitor::windowFocused(const QString &key)
{
    m_foregroundKey = key;
    setForeground(m_windows.value(key));
}

void WaylandApplicationMonitor::setForeground(const QString &identifier)
{
    if (identifier == m_foreground)
        return;
    m_foreground = identifier;
    if (m_announce)
        Q_EMIT foregroundApplicationChanged(m_foreground);
}

void WaylandApplicationMonitor::compositorLost()
{
    m_connected = false;
    const QStringList gone = m_applications.keys();
    m_applications.clear();
    m_windows.clear();
    m_foregroundKey.clear();
    setForeground(QString());
    for (const QString &identifier : gone)
        Q_EMIT applicationTerminated(identifier);
}

void WaylandApplicationMonitor::watchFolders()
{
    if (!m_entriesWatch && m_entries)
        m_entriesWatch = new DesktopEntriesWatch(*m_entries, this);
}

} // namespace brevona
