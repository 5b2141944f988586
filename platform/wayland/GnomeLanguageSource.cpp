#include "GnomeLanguageSource.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include "WaylandBackends.h"
#include "wayland/GnomeApplicationMonitor.h"

namespace brevona {

namespace {

constexpr int kCallTimeoutMs = 2000;

} // namespace

GnomeLanguageSource::GnomeLanguageSource(QObject *parent)
    : InputLanguageSource(parent)
{}

GnomeLanguageSource::~GnomeLanguageSource() = default;

QString GnomeLanguageSource::layoutOfSource(const QString &source)
{
    if (source.contains(QLatin1Char(':')))
        return source;
    return layoutName(source.section(QLatin1Char('+'), 0, 0), source.section(QLatin1Char('+'), 1));
}

bool GnomeLanguageSource::read()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(GnomeApplicationMonitor::Service), QLatin1String(GnomeApplicationMonitor::ObjectPath),
        QLatin1String(GnomeApplicationMonitor::Interface), QStringLiteral("GetInputSources"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("asi")) {
        if (!m_failureLogged)
            qCWarning(lcWayland).noquote() << "GNOME Shell's Brevona extension does not answer; input "
                                              "languages are not available until it"
                                              " is enabled";
        m_failureLogged = true;
        m_layouts.reset();
        m_index.reset();
        return false;
    }
    m_failureLogged = false;
    QStringList layouts;
    for (const QString &source : reply.arguments().at(0).toStringList())
        layouts.append(layoutOfSource(source));
    m_layouts = layouts;
    const int index = reply.arguments().at(1).toInt();
    m_index = index >= 0 ? std::optional<int>(index) : std::nullopt;
    return true;
}

bool GnomeLanguageSource::ready()
{
    if (!m_subscribed)
        m_subscribed = QDBusConnection::sessionBus().connect(
            QLatin1String(GnomeApplicationMonitor::Service),
            QLatin1String(GnomeApplicationMonitor::ObjectPath),
            QLatin1String(GnomeApplicationMonitor::Interface), QStringLiteral("InputSourcesChanged"), this,
            SLOT(onInputSourcesChanged()));
    return m_layouts.has_value() || read();
}

void GnomeLanguageSource::startWatching()
{
    ready();
}

std::optional<QStringList> GnomeLanguageSource::layouts()
{
    return ready() ? m_layouts : std::nullopt;
}

std::optional<int> GnomeLanguageSource::currentIndex()
{
    return ready() ? m_index : std::nullopt;
}

void GnomeLanguageSource::onInputSourcesChanged()
{
    read();
    Q_EMIT languageChanged();
}

} // namespace brevona
