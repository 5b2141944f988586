#include "HyprlandApplicationMonitor.h"

#include "wayland/HyprlandPayloads.h"
#include "wayland/HyprlandSockets.h"

namespace brevona {

namespace {

WaylandApplicationMonitor::Window windowOf(const HyprlandPayloads::Client &client)
{
    // Xwayland windows give their X class; Wayland ones their app id in the same field.
    const QString appId = client.xwayland ? QString() : client.wmClass;
    return {client.address,
            WaylandApplicationMonitor::identityOf(
                appId, client.wmClass, client.xwayland ? client.initialClass : QString(), client.pid)};
}

} // namespace

HyprlandApplicationMonitor::HyprlandApplicationMonitor(QString folder, QStringList applicationFolders,
                                                       QObject *parent)
    : WaylandApplicationMonitor(std::move(applicationFolders), parent)
    , m_sockets(new HyprlandSockets(std::move(folder), this))
{
    connect(m_sockets, &HyprlandSockets::closed, this, &HyprlandApplicationMonitor::compositorLost);
    connect(m_sockets, &HyprlandSockets::eventReceived, this, [this](const HyprlandPayloads::Event &event) {
        if (event.name == QLatin1String("openwindow")) {
            // ADDRESS,WORKSPACE,CLASS,TITLE
            const QStringList fields = HyprlandPayloads::fields(event.data, 4);
            windowOpened(lookUp(HyprlandPayloads::address(fields.value(0)), fields.value(2)));
        } else if (event.name == QLatin1String("closewindow")) {
            windowClosed(HyprlandPayloads::address(event.data));
        } else if (event.name == QLatin1String("activewindowv2")) {
            const QString address = HyprlandPayloads::address(event.data);
            if (!address.isEmpty() && address != QLatin1String(",") && !hasWindow(address))
                windowOpened(lookUp(address, QString()));
            windowFocused(address == QLatin1String(",") ? QString() : address);
        }
    });
}

HyprlandApplicationMonitor::~HyprlandApplicationMonitor() = default;

bool HyprlandApplicationMonitor::connectToCompositor()
{
    // The events first, so that nothing slips between the list and them.
    if (!m_sockets->openEvents(QStringLiteral("running and foreground applications")))
        return false;
    const auto listed = m_sockets->request("j/clients");
    const auto clients = listed ? HyprlandPayloads::clients(*listed) : std::nullopt;
    const auto active = m_sockets->request("j/activewindow");
    const auto focused = active ? HyprlandPayloads::activeWindow(*active) : std::nullopt;
    if (!clients)
        return false;
    QList<Window> windows;
    for (const HyprlandPayloads::Client &client : *clients)
        windows.append(windowOf(client));
    replaceWindows(windows, focused.value_or(QString()));
    return true;
}

WaylandApplicationMonitor::Window HyprlandApplicationMonitor::lookUp(const QString &address,
                                                                     const QString &wmClass)
{
    const auto listed = m_sockets->request("j/clients");
    const auto clients = listed ? HyprlandPayloads::clients(*listed) : std::nullopt;
    for (const HyprlandPayloads::Client &client : clients.value_or(QList<HyprlandPayloads::Client>())) {
        if (client.address == address)
            return windowOf(client);
    }
    return {address, identityOf(wmClass, wmClass, QString(), 0)};
}

} // namespace brevona
