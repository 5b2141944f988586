#include "SwayApplicationMonitor.h"

#include "wayland/I3IpcCodec.h"
#include "wayland/SwayIpcClient.h"
#include "wayland/SwayPayloads.h"

namespace brevona {

namespace {

WaylandApplicationMonitor::Window windowOf(const SwayPayloads::Window &view)
{
    return {QString::number(view.id),
            WaylandApplicationMonitor::identityOf(view.appId, view.wmClass, view.wmInstance, view.pid)};
}

} // namespace

SwayApplicationMonitor::SwayApplicationMonitor(QString socketPath, QStringList applicationFolders,
                                               QObject *parent)
    : WaylandApplicationMonitor(std::move(applicationFolders), parent)
    , m_ipc(new SwayIpcClient(std::move(socketPath), this))
{
    connect(m_ipc, &SwayIpcClient::eventReceived, this, &SwayApplicationMonitor::handleEvent);
    connect(m_ipc, &SwayIpcClient::closed, this, &SwayApplicationMonitor::compositorLost);
}

SwayApplicationMonitor::~SwayApplicationMonitor() = default;

bool SwayApplicationMonitor::connectToCompositor()
{
    if (!m_ipc->open(QStringLiteral("running and foreground applications")))
        return false;
    // Subscribed first, so that no window slips between the tree and the events.
    if (!m_ipc->subscribe({QStringLiteral("window"), QStringLiteral("workspace")}))
        return false;
    const auto reply = m_ipc->request(I3IpcCodec::GetTree);
    const auto views = reply ? SwayPayloads::windowsOfTree(*reply) : std::nullopt;
    if (!views)
        return false;
    QList<Window> windows;
    QString focused;
    for (const SwayPayloads::Window &view : *views) {
        windows.append(windowOf(view));
        if (view.focused)
            focused = windows.last().key;
    }
    replaceWindows(windows, focused);
    return true;
}

void SwayApplicationMonitor::handleEvent(quint32 type, const QByteArray &payload)
{
    if (type == I3IpcCodec::WorkspaceEvent) {
        if (SwayPayloads::focusesEmptyWorkspace(payload))
            windowFocused(QString());
        return;
    }
    if (type != I3IpcCodec::WindowEvent)
        return;
    const auto event = SwayPayloads::windowEvent(payload);
    if (!event)
        return;
    const Window window = windowOf(event->window);
    if (event->change == QLatin1String("new")) {
        windowOpened(window);
    } else if (event->change == QLatin1String("close")) {
        windowClosed(window.key);
    } else if (event->change == QLatin1String("focus")) {
        // A window focused before its "new" was read (or an Xwayland one that got its class late).
        if (!hasWindow(window.key))
            windowOpened(window);
        windowFocused(window.key);
    }
}

} // namespace brevona
