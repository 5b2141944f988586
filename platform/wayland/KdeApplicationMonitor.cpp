#include "KdeApplicationMonitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>

#include "Paths.h"
#include "WaylandBackends.h"

namespace brevona {

namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kScripting = QStringLiteral("org.kde.kwin.Scripting");
constexpr int kCallTimeoutMs = 2000;
// Reports held back for one that has not come yet; more means it never will.
constexpr std::size_t kMaxWaitingReports = 4096;

// Plasma 6 names windows "window", Plasma 5 "client"; the script speaks both.
constexpr char kScript[] = R"js(// Reports KWin's windows to the keyboard driver.
const destination = "@DESTINATION@";
const path = "@PATH@";
const iface = "com.kettlewood.Brevona.KWinWindows";
// Numbered, so that the receiver can put reports back in order.
let sequence = 0;
function report(method, ...args) { callDBus(destination, path, iface, method, sequence++ | 0, ...args); }

function counts(w) { return w && (w.normalWindow || w.dialog) && !w.skipTaskbar; }
function id(w) { return w ? String(w.internalId) : ""; }
function added(w) {
    if (counts(w))
        report("windowAdded", id(w), String(w.desktopFileName || ""), String(w.resourceClass || ""), w.pid | 0);
}
function removed(w) { report("windowRemoved", id(w)); }
function activated(w) { report("windowActivated", counts(w) ? id(w) : ""); }

report("beginListing");
(workspace.windowList ? workspace.windowList() : workspace.clientList()).forEach(added);
const active = workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
report("endListing", counts(active) ? id(active) : "");
(workspace.windowAdded || workspace.clientAdded).connect(added);
(workspace.windowRemoved || workspace.clientRemoved).connect(removed);
(workspace.windowActivated || workspace.clientActivated).connect(activated);
)js";

QDBusMessage callKWin(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(kKWin, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
}

} // namespace

KdeApplicationMonitor::KdeApplicationMonitor(QStringList applicationFolders, QObject *parent)
    : WaylandApplicationMonitor(std::move(applicationFolders), parent)
{}

KdeApplicationMonitor::~KdeApplicationMonitor()
{
    unloadScript();
    if (m_registered)
        QDBusConnection::sessionBus().unregisterObject(QLatin1String(ObjectPath));
}

QString KdeApplicationMonitor::pluginName()
{
    QString program = QCoreApplication::applicationName();
    program.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    return QStringLiteral("brevona-windows-") + program;
}

QString KdeApplicationMonitor::script(const QString &destination)
{
    return QString::fromUtf8(kScript)
        .replace(QLatin1String("@DESTINATION@"), destination)
        .replace(QLatin1String("@PATH@"), QLatin1String(ObjectPath));
}

void KdeApplicationMonitor::unloadScript()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    callKWin(QStringLiteral("/Scripting"), kScripting, QStringLiteral("unloadScript"), {pluginName()});
}

bool KdeApplicationMonitor::connectToCompositor()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_registered)
        m_registered =
            bus.registerObject(QLatin1String(ObjectPath), this, QDBusConnection::ExportScriptableSlots);
    const std::optional<QString> folder = Paths::privateWorkingFolder(QStringLiteral("kwin"));
    if (!m_registered || !folder) {
        return failed(QStringLiteral("No place for KWin's script"));
    }
    // The script names this connection, so it is written anew for each start.
    const QString file = QDir(*folder).filePath(pluginName() + QStringLiteral(".js"));
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(script(bus.baseService()).toUtf8()) < 0 ||
        !out.commit()) {
        return failed(QStringLiteral("Cannot write KWin's script ") + file);
    }
    // One left by an earlier start goes first: KWin keeps scripts by name.
    callKWin(QStringLiteral("/Scripting"), kScripting, QStringLiteral("unloadScript"), {pluginName()});
    const QDBusReply<int> loaded = callKWin(QStringLiteral("/Scripting"), kScripting,
                                            QStringLiteral("loadScript"), {file, pluginName()});
    if (!loaded.isValid() || loaded.value() < 0) {
        return failed(QStringLiteral("KWin did not load the window script (%1)")
                          .arg(loaded.isValid() ? QStringLiteral("refused") : loaded.error().message()));
    }
    m_loaded = true;
    m_failureLogged = false;
    // Plasma 6 (and 5.2x) keep a loaded script at /Scripting/Script<id>, earlier ones at /<id>.
    QDBusMessage run = callKWin(QStringLiteral("/Scripting/Script%1").arg(loaded.value()),
                                QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run"));
    if (run.type() == QDBusMessage::ErrorMessage)
        run = callKWin(QStringLiteral("/%1").arg(loaded.value()), QStringLiteral("org.kde.kwin.Script"),
                       QStringLiteral("run"));
    if (run.type() == QDBusMessage::ErrorMessage) {
        unloadScript();
        return failed(QStringLiteral("KWin did not run the window script (%1)").arg(run.errorMessage()));
    }
    // The windows arrive with the script's listing, numbered from 0.
    m_nextSequence = 0;
    m_waiting.clear();
    replaceWindows({}, QString());
    return true;
}

bool KdeApplicationMonitor::failed(const QString &reason)
{
    if (!m_failureLogged)
        qCWarning(lcWayland).noquote()
            << reason + QStringLiteral("; running and foreground applications are not available");
    m_failureLogged = true;
    return false;
}

bool KdeApplicationMonitor::fromKWin()
{
    if (!calledFromDBus())
        return true;
    // Asked without an event loop: a nested one would run KWin's later reports before this one.
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    ask << kKWin;
    const QDBusReply<QString> owner = connection().call(ask, QDBus::Block);
    if (owner.isValid() && owner.value() == message().service())
        return true;
    qCWarning(lcWayland).noquote() << "Ignored a window report from" << message().service() << "(not KWin)";
    return false;
}

void KdeApplicationMonitor::inOrder(int sequence, std::function<void()> report)
{
    if (!fromKWin() || sequence < m_nextSequence)
        return;
    // Qt's bus connection may hand over reports that arrived while its delivery was still held
    // back after later ones; the script numbers them, and they are taken in that order.
    m_waiting.emplace(sequence, std::move(report));
    if (m_waiting.size() > kMaxWaitingReports) {
        qCWarning(lcWayland, "A window report from KWin never came; going on without it");
        m_nextSequence = m_waiting.begin()->first;
    }
    while (!m_waiting.empty() && m_waiting.begin()->first == m_nextSequence) {
        const std::function<void()> next = std::move(m_waiting.begin()->second);
        m_waiting.erase(m_waiting.begin());
        ++m_nextSequence;
        next();
    }
}

void KdeApplicationMonitor::beginListing(int sequence)
{
    inOrder(sequence, [this] {
        m_listing = true;
        m_listed.clear();
    });
}

void KdeApplicationMonitor::endListing(int sequence, const QString &activeId)
{
    inOrder(sequence, [this, activeId] {
        if (!m_listing)
            return;
        m_listing = false;
        replaceWindows(std::exchange(m_listed, {}), activeId);
    });
}

void KdeApplicationMonitor::windowAdded(int sequence, const QString &id, const QString &desktopFileName,
                                        const QString &resourceClass, int pid)
{
    inOrder(sequence, [this, id, desktopFileName, resourceClass, pid] {
        if (id.isEmpty())
            return;
        const Window window{id, identityOf(desktopFileName, resourceClass, QString(), pid)};
        if (m_listing)
            m_listed.append(window);
        else
            windowOpened(window);
    });
}

void KdeApplicationMonitor::windowRemoved(int sequence, const QString &id)
{
    inOrder(sequence, [this, id] { windowClosed(id); });
}

void KdeApplicationMonitor::windowActivated(int sequence, const QString &id)
{
    inOrder(sequence, [this, id] { windowFocused(id); });
}

} // namespace brevona
