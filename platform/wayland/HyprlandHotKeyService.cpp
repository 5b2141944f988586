#include "HyprlandHotKeyService.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QStringList>

#include "WaylandBackends.h"
#include "wayland/HyprlandSockets.h"

namespace brevona {

namespace {

constexpr char kTokenPrefix[] = "brevona-hotkey-";

} // namespace

HyprlandHotKeyService::HyprlandHotKeyService(QString folder, QObject *parent)
    : HotKeyService(parent)
    , m_sockets(new HyprlandSockets(std::move(folder), this))
{
    // Bindings live in the compositor: they are taken back before the program ends.
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &HyprlandHotKeyService::releaseAll);
}

HyprlandHotKeyService::~HyprlandHotKeyService()
{
    releaseAll();
    if (m_registered)
        QDBusConnection::sessionBus().unregisterObject(QLatin1String(ObjectPath));
}

QString HyprlandHotKeyService::combination(int keyCode, int modifiers)
{
    QStringList parts;
    if (modifiers & hotkey_modifiers::Command)
        parts.append(QStringLiteral("SUPER"));
    if (modifiers & hotkey_modifiers::Shift)
        parts.append(QStringLiteral("SHIFT"));
    if (modifiers & hotkey_modifiers::Option)
        parts.append(QStringLiteral("ALT"));
    if (modifiers & hotkey_modifiers::Control)
        parts.append(QStringLiteral("CTRL"));
    return parts.join(QLatin1Char(' ')) + QStringLiteral(",code:") + QString::number(keyCode);
}

QString HyprlandHotKeyService::tokenFor(qint64 process, Reference reference)
{
    return QLatin1String(kTokenPrefix) + QString::number(process) + QLatin1Char('-') +
           QString::number(reference);
}

bool HyprlandHotKeyService::keyword(const QString &arguments, const QString &what)
{
    const auto reply = m_sockets->request("keyword " + arguments.toUtf8());
    if (!reply) {
        qCWarning(lcWayland).noquote() << what << "not made: Hyprland's request socket does not answer";
        return false;
    }
    if (reply->trimmed() != "ok") {
        qCWarning(lcWayland).noquote()
            << what << "refused by Hyprland:" << QString::fromUtf8(reply->trimmed());
        return false;
    }
    return true;
}

std::optional<HotKeyService::Reference>
HyprlandHotKeyService::registerHotKey(int keyCode, int modifiers, const QString &signature, int id)
{
    const QString keys = combination(keyCode, modifiers);
    if (!m_bindings.mayBind(keyCode, keys, signature))
        return std::nullopt;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_registered)
        m_registered =
            bus.registerObject(QLatin1String(ObjectPath), this, QDBusConnection::ExportScriptableSlots);
    if (!m_registered || bus.baseService().isEmpty()) {
        qCWarning(lcWayland).noquote()
            << "Hot key" << signature << "not made: no session bus to be called on";
        return std::nullopt;
    }
    const Reference reference = m_bindings.reserve();
    const QString command =
        QStringLiteral("dbus-send --session --type=method_call --dest=%1 %2 "
                       "com.kettlewood.Brevona.HyprlandHotKeys.Pressed string:%3")
            .arg(bus.baseService(), QLatin1String(ObjectPath), tokenFor(::getpid(), reference));
    if (!keyword(QStringLiteral("bind %1,exec,%2").arg(keys, command),
                 QStringLiteral("Hot key ") + signature))
        return std::nullopt;
    m_bindings.bind(reference, keys, id);
    return reference;
}

bool HyprlandHotKeyService::unregisterHotKey(Reference reference)
{
    const std::optional<QString> released = m_bindings.release(reference);
    if (!released)
        return false;
    const QString keys = *released;
    return keyword(QStringLiteral("unbind ") + keys, QStringLiteral("Releasing hot key ") + keys);
}

void HyprlandHotKeyService::releaseAll()
{
    while (const auto reference = m_bindings.any())
        unregisterHotKey(*reference);
}

void HyprlandHotKeyService::Pressed(const QString &token)
{
    const QString prefix = tokenFor(::getpid(), 0).chopped(1);
    if (!token.startsWith(prefix))
        return;
    bool ok = false;
    const Reference reference = token.mid(prefix.size()).toULongLong(&ok);
    const auto hotKey = ok ? m_bindings.hotKeyOf(reference) : std::nullopt;
    if (hotKey)
        Q_EMIT hotKeyPressed(*hotKey);
}

} // namespace brevona
