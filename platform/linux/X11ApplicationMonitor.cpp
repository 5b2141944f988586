#include "X11ApplicationMonitor.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <QFile>
#include <QSocketNotifier>
#include <QSysInfo>

#include <xcb/res.h>

#include "linux/DesktopEntriesWatch.h"
#include "linux/XcbReply.h"

namespace brevona {

namespace {

// Installing or removing applications writes several files; they are read once it is over.

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

QList<quint32> cardinals(const QByteArray &bytes)
{
    QList<quint32> values;
    for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4) {
        quint32 value;
        std::memcpy(&value, bytes.constData() + at, 4);
        values.append(value);
    }
    return values;
}

} // namespace

X11ApplicationMonitor::X11ApplicationMonitor(QString display, QStringList applicationFolders, QObject *parent)
    : ApplicationMonitor(parent)
    , m_x(std::move(display), QStringLiteral("running and foreground applications are not available"))
    , m_applicationFolders(std::move(applicationFolders))
{
    m_x.setEventHandler([this](const xcb_generic_event_t &event) { handleEvent(event); });
    m_x.setDisconnectHandler([this] { forgetAll(true); });
    // A server that comes (back) is set up at once; setUp announces what it finds there.
    m_x.setConnectHandler([this] { ready(); });
}

X11ApplicationMonitor::~X11ApplicationMonitor()
{
    m_x.setDisconnectHandler({});
    forgetAll(false);
}

bool X11ApplicationMonitor::ready()
{
    if (!m_x.get()) {
        // Whoever asked was told "nothing": what a server shows later is news.
        m_announce = true;
        return false;
    }
    if (m_setUpGeneration != m_x.generation())
        setUp();
    // Events read together with replies would otherwise wait for the next wake-up of the socket.
    QMetaObject::invokeMethod(&m_x, &X11AppEventConnection::dispatch, Qt::QueuedConnection);
    return m_x.get() != nullptr;
}

void X11ApplicationMonitor::setUp()
{
    xcb_connection_t *connection = m_x.get();
    m_setUpGeneration = m_x.generation();
    if (!m_entries)
        m_entries = std::make_unique<DesktopEntries>(m_applicationFolders);

    const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, m_x.root(), XCB_CW_EVENT_MASK, &mask);
    m_clientListAtom = m_x.atom("_NET_CLIENT_LIST");
    m_activeWindowAtom = m_x.atom("_NET_ACTIVE_WINDOW");

    m_resources = false;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_res_id);
    if (extension && extension->present) {
        const XcbReply<xcb_res_query_version_reply_t> version(
            xcb_res_query_version_reply(connection, xcb_res_query_version(connection, 1, 2), nullptr));
        m_resources = version && (version->server_major > 1 || version->server_minor >= 2);
    }

    // The windows that exist already were launched before anyone watched: only a connection made
    // after someone was told "nothing" announces what it finds.
    readClientList();
    readActiveWindow();
    m_announce = true;
}

void X11ApplicationMonitor::startWatching()
{
    if (!ready())
        return;
    watchFolders();
}

std::optional<QSet<QString>> X11ApplicationMonitor::runningApplications()
{
    if (!ready())
        return std::nullopt;
    QSet<QString> running;
    for (auto it = m_applications.constBegin(); it != m_applications.constEnd(); ++it)
        running.insert(it.key());
    return running;
}

QString X11ApplicationMonitor::foregroundApplication()
{
    return ready() ? m_foreground : QString();
}

void X11ApplicationMonitor::handleEvent(const xcb_generic_event_t &event)
{
    if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return;
    const auto &notify = reinterpret_cast<const xcb_property_notify_event_t &>(event);
    if (notify.window != m_x.root())
        return;
    if (notify.atom == m_clientListAtom)
        readClientList();
    else if (notify.atom == m_activeWindowAtom)
        readActiveWindow();
}

void X11ApplicationMonitor::readClientList()
{
    // Without a window manager there is no list, and no application counts as running.
    const QList<quint32> listed =
        cardinals(m_x.property(m_x.root(), m_clientListAtom, XCB_ATOM_WINDOW).value_or(QByteArray()));
    const QSet<xcb_window_t> now(listed.cbegin(), listed.cend());
    // New windows first: an application that swaps one window for another keeps running.
    for (const xcb_window_t window : now) {
        if (!m_windows.contains(window))
            addWindow(window, describe(window));
    }
    const QList<xcb_window_t> known = m_windows.keys();
    for (const xcb_window_t window : known) {
        if (!now.contains(window))
            removeWindow(window);
    }
}

void X11ApplicationMonitor::readActiveWindow()
{
    const QList<quint32> active =
        cardinals(m_x.property(m_x.root(), m_activeWindowAtom, XCB_ATOM_WINDOW).value_or(QByteArray()));
    const xcb_window_t window = active.isEmpty() ? xcb_window_t(XCB_WINDOW_NONE) : active.first();
    QString identifier;
    if (window != XCB_WINDOW_NONE) {
        const auto found = m_windows.constFind(window);
        identifier = found != m_windows.constEnd() ? found->identifier : describe(window).identifier;
    }
    if (identifier == m_foreground)
        return;
    m_foreground = identifier;
    if (m_announce)
        Q_EMIT foregroundApplicationChanged(m_foreground);
}

pid_t X11ApplicationMonitor::processOf(xcb_window_t window)
{
    xcb_connection_t *connection = m_x.get();
    if (!connection)
        return 0;
    // The X-Resource extension knows the process of a local client for certain.
    if (m_resources) {
        xcb_res_client_id_spec_t client{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        const XcbReply<xcb_res_query_client_ids_reply_t> reply(xcb_res_query_client_ids_reply(
            connection, xcb_res_query_client_ids(connection, 1, &client), nullptr));
        pid_t pid = 0;
        if (reply) {
            for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0 && pid == 0;
                 xcb_res_client_id_value_next(&it)) {
                if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
                    xcb_res_client_id_value_value_length(it.data) >= 1)
                    pid = static_cast<pid_t>(*xcb_res_client_id_value_value(it.data));
            }
        }
        if (pid > 0)
            return pid;
    }
    // _NET_WM_PID is what the client says, and means something only on this machine.
    const QList<quint32> pids =
        cardinals(m_x.property(window, m_x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL).value_or(QByteArray()));
    if (pids.isEmpty() || pids.first() == 0 || pids.first() > quint32(INT32_MAX))
        return 0;
    const std::optional<QByteArray> machine =
        m_x.property(window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING);
    if (machine && QString::fromLocal8Bit(machine->constData()) != QSysInfo::machineHostName())
        return 0;
    return static_cast<pid_t>(pids.first());
}

WindowIdentity X11ApplicationMonitor::identify(xcb_window_t window, pid_t *process)
{
    WindowIdentity identity;
    if (process)
        *process = 0;
    if (!m_x.get())
        return identity;
    if (auto id = m_x.property(window, m_x.atom("_GTK_APPLICATION_ID"), m_x.atom("UTF8_STRING")))
        identity.gtkApplicationId = QString::fromUtf8(*id).section(QLatin1Char('\0'), 0, 0);
    if (auto wmClass = m_x.property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)) {
        const QList<QByteArray> parts = wmClass->split('\0');
        identity.wmInstance = QString::fromLocal8Bit(parts.value(0));
        identity.wmClass = QString::fromLocal8Bit(parts.value(1));
    }
    if (const pid_t pid = processOf(window); pid > 0) {
        const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
        if (!executable.endsWith(QLatin1String(" (deleted)")))
            identity.executable = executable;
        if (process)
            *process = pid;
    }
    return identity;
}

X11ApplicationMonitor::WindowRecord X11ApplicationMonitor::describe(xcb_window_t window)
{
    WindowRecord record;
    const WindowIdentity identity = identify(window, &record.pid);
    record.identifier = m_entries ? m_entries->identifierFor(identity) : QString();
    return record;
}

void X11ApplicationMonitor::addWindow(xcb_window_t window, const WindowRecord &record)
{
    m_windows.insert(window, record);
    if (record.identifier.isEmpty())
        return;
    const bool launched = !m_applications.contains(record.identifier);
    Application &application = m_applications[record.identifier];
    ++application.windows;
    if (record.pid > 0)
        application.pids.insert(record.pid);
    if (launched && m_announce)
        Q_EMIT applicationLaunched(record.identifier);
}

void X11ApplicationMonitor::removeWindow(xcb_window_t window)
{
    const WindowRecord record = m_windows.take(window);
    const auto found = m_applications.find(record.identifier);
    if (record.identifier.isEmpty() || found == m_applications.end())
        return;
    if (--found->windows > 0)
        return;
    // Without windows the application runs on as long as one of its processes does.
    const QSet<pid_t> pids = found->pids;
    for (const pid_t pid : pids) {
        if (!found->exits.contains(pid) && !watchExit(record.identifier, pid))
            found->pids.remove(pid);
    }
    settle(record.identifier);
}

bool X11ApplicationMonitor::watchExit(const QString &identifier, pid_t pid)
{
    const int fd = openPidfd(pid);
    if (fd < 0)
        return false; // gone already, or the kernel cannot tell: counts as exited
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, identifier, pid, notifier] {
        notifier->setEnabled(false);
        const auto found = m_applications.find(identifier);
        if (found != m_applications.end() && found->exits.value(pid) == notifier) {
            found->exits.remove(pid);
            found->pids.remove(pid);
        }
        ::close(static_cast<int>(notifier->socket()));
        notifier->deleteLater();
        settle(identifier);
    });
    m_applications[identifier].exits.insert(pid, notifier);
    return true;
}

void X11ApplicationMonitor::settle(const QString &identifier)
{
    const auto found = m_applications.find(identifier);
    if (found == m_applications.end() || found->windows > 0 || !found->exits.isEmpty())
        return;
    m_applications.erase(found);
    Q_EMIT applicationTerminated(identifier);
}

void X11ApplicationMonitor::forgetAll(bool announce)
{
    const QStringList gone = m_applications.keys();
    for (Application &application : m_applications) {
        for (QSocketNotifier *notifier : std::as_const(application.exits)) {
            notifier->setEnabled(false);
            ::close(static_cast<int>(notifier->socket()));
            notifier->deleteLater();
        }
    }
    m_applications.clear();
    m_windows.clear();
    const bool hadForeground = !m_foreground.isEmpty();
    m_foreground.clear();
    if (!announce)
        return;
    // The windows went with the server, and with them what they showed.
    for (const QString &identifier : gone)
        Q_EMIT applicationTerminated(identifier);
    if (hadForeground)
        Q_EMIT foregroundApplicationChanged(QString());
}

void X11ApplicationMonitor::watchFolders()
{
    if (!m_entriesWatch && m_entries)
        m_entriesWatch = new DesktopEntriesWatch(*m_entries, this);
}

} // namespace brevona
