#include "SwayHotKeyService.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QStringList>

#include "WaylandBackends.h"
#include "wayland/I3IpcCodec.h"
#include "wayland/SwayIpcClient.h"
#include "wayland/SwayPayloads.h"

namespace brevona {

namespace {

// The same flags bind and unbind: sway finds a binding by its flags too.
constexpr char kBindFlags[] = "--no-repeat";
constexpr char kCommandPrefix[] = "nop brevona-hotkey-";

} // namespace

SwayHotKeyService::SwayHotKeyService(QString socketPath, QObject *parent)
    : HotKeyService(parent)
    , m_ipc(new SwayIpcClient(std::move(socketPath), this))
{
    connect(m_ipc, &SwayIpcClient::eventReceived, this, &SwayHotKeyService::handleEvent);
    // Bindings live in the compositor: they are taken back before the program ends.
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &SwayHotKeyService::releaseAll);
    // A compositor that went away took its bindings with it.
    connect(m_ipc, &SwayIpcClient::closed, this, [this] {
        m_subscribed = false;
        m_bindings.clear();
    });
}

SwayHotKeyService::~SwayHotKeyService()
{
    releaseAll();
}

QString SwayHotKeyService::combination(int keyCode, int modifiers)
{
    QStringList parts;
    if (modifiers & hotkey_modifiers::Command)
        parts.append(QStringLiteral("Mod4"));
    if (modifiers & hotkey_modifiers::Shift)
        parts.append(QStringLiteral("Shift"));
    if (modifiers & hotkey_modifiers::Option)
        parts.append(QStringLiteral("Mod1"));
    if (modifiers & hotkey_modifiers::Control)
        parts.append(QStringLiteral("Ctrl"));
    parts.append(QString::number(keyCode));
    return parts.join(QLatin1Char('+'));
}

QString SwayHotKeyService::commandFor(qint64 process, Reference reference)
{
    return QLatin1String(kCommandPrefix) + QString::number(process) + QLatin1Char('-') +
           QString::number(reference);
}

std::optional<HotKeyService::Reference> SwayHotKeyService::referenceOf(const QString &command, qint64 process)
{
    const QString prefix = QLatin1String(kCommandPrefix) + QString::number(process) + QLatin1Char('-');
    if (!command.startsWith(prefix))
        return std::nullopt;
    bool ok = false;
    const Reference reference = command.mid(prefix.size()).toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return reference;
}

bool SwayHotKeyService::ready()
{
    if (m_subscribed)
        return true;
    m_subscribed =
        m_ipc->open(QStringLiteral("global hot keys")) && m_ipc->subscribe({QStringLiteral("binding")});
    return m_subscribed;
}

bool SwayHotKeyService::run(const QString &command, const QString &what)
{
    const auto reply = m_ipc->request(I3IpcCodec::RunCommand, command.toUtf8());
    if (!reply)
        return false;
    if (const auto error = SwayPayloads::commandError(*reply)) {
        qCWarning(lcWayland).noquote() << what << "refused by sway:" << *error;
        return false;
    }
    return true;
}

std::optional<HotKeyService::Reference> SwayHotKeyService::registerHotKey(int keyCode, int modifiers,
                                                                          const QString &signature, int id)
{
    const QString keys = combination(keyCode, modifiers);
    if (!m_bindings.mayBind(keyCode, keys, signature))
        return std::nullopt;
    if (!ready())
        return std::nullopt;
    const Reference reference = m_bindings.reserve();
    const QString command = QStringLiteral("bindcode %1 %2 %3")
                                .arg(QLatin1String(kBindFlags), keys, commandFor(::getpid(), reference));
    if (!run(command, QStringLiteral("Hot key ") + signature))
        return std::nullopt;
    m_bindings.bind(reference, keys, id);
    return reference;
}

bool SwayHotKeyService::unregisterHotKey(Reference reference)
{
    const std::optional<QString> released = m_bindings.release(reference);
    if (!released)
        return false;
    const QString keys = *released;
    if (!m_ipc->isOpen())
        return true;
    return run(QStringLiteral("unbindcode %1 %2").arg(QLatin1String(kBindFlags), keys),
               QStringLiteral("Releasing hot key ") + keys);
}

void SwayHotKeyService::releaseAll()
{
    while (const auto reference = m_bindings.any())
        unregisterHotKey(*reference);
}

void SwayHotKeyService::handleEvent(quint32 type, const QByteArray &payload)
{
    if (type != I3IpcCodec::BindingEvent)
        return;
    const auto command = SwayPayloads::boundCommand(payload);
    const auto reference = command ? referenceOf(*command, ::getpid()) : std::nullopt;
    if (!reference)
        return;
    if (const auto hotKey = m_bindings.hotKeyOf(*reference))
        Q_EMIT hotKeyPressed(*hotKey);
}

} // namespace brevona
