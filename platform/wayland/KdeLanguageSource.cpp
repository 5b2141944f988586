#include "KdeLanguageSource.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>

#include "WaylandBackends.h"

namespace brevona {

namespace {

const QString kService = QStringLiteral("org.kde.keyboard");
const QString kPath = QStringLiteral("/Layouts");
const QString kInterface = QStringLiteral("org.kde.KeyboardLayouts");
constexpr int kCallTimeoutMs = 2000;

// One entry of getLayoutsList: (short name, variant, name for people).
struct LayoutNames
{
    QString shortName;
    QString variant;
    QString displayName;
};

QDBusArgument &operator<<(QDBusArgument &argument, const LayoutNames &names)
{
    argument.beginStructure();
    argument << names.shortName << names.variant << names.displayName;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, LayoutNames &names)
{
    argument.beginStructure();
    argument >> names.shortName >> names.variant >> names.displayName;
    argument.endStructure();
    return argument;
}

} // namespace

} // namespace brevona

Q_DECLARE_METATYPE(brevona::LayoutNames)

namespace brevona {

KdeLanguageSource::KdeLanguageSource(QString busAddress, QObject *parent)
    : InputLanguageSource(parent)
{
    qDBusRegisterMetaType<LayoutNames>();
    qDBusRegisterMetaType<QList<LayoutNames>>();
    if (busAddress.isEmpty()) {
        m_connectionName = QDBusConnection::sessionBus().name();
    } else {
        m_connectionName = QStringLiteral("brevona-kde-layouts");
        QDBusConnection::connectToBus(busAddress, m_connectionName);
    }
}

KdeLanguageSource::~KdeLanguageSource() = default;

bool KdeLanguageSource::readLayouts()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("getLayoutsList"));
    const QDBusReply<QList<LayoutNames>> reply =
        QDBusConnection(m_connectionName).call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) {
        if (!m_failureLogged)
            qCWarning(lcWayland).noquote() << "Plasma's keyboard layouts cannot be read (" +
                                                  reply.error().message() +
                                                  "); input languages are not available";
        m_failureLogged = true;
        m_layouts.reset();
        return false;
    }
    QStringList names;
    for (const LayoutNames &layout : reply.value())
        names.append(layoutName(layout.shortName, layout.variant));
    m_layouts = names;
    return true;
}

bool KdeLanguageSource::readIndex()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("getLayout"));
    const QDBusReply<uint> reply = QDBusConnection(m_connectionName).call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) {
        m_index.reset();
        return false;
    }
    m_index = int(reply.value());
    return true;
}

bool KdeLanguageSource::ready()
{
    if (!m_watching) {
        QDBusConnection bus(m_connectionName);
        // Subscribed first, so that no switch slips between the reading and the signals.
        m_watching = bus.connect(kService, kPath, kInterface, QStringLiteral("layoutChanged"), this,
                                 SLOT(onLayoutChanged(uint))) &&
                     bus.connect(kService, kPath, kInterface, QStringLiteral("layoutListChanged"), this,
                                 SLOT(onLayoutListChanged()));
    }
    if (!m_layouts && readLayouts())
        readIndex();
    return m_layouts.has_value();
}

void KdeLanguageSource::startWatching()
{
    ready();
}

std::optional<QStringList> KdeLanguageSource::layouts()
{
    return ready() ? m_layouts : std::nullopt;
}

std::optional<int> KdeLanguageSource::currentIndex()
{
    return ready() ? m_index : std::nullopt;
}

void KdeLanguageSource::onLayoutChanged(uint index)
{
    m_index = int(index);
    Q_EMIT languageChanged();
}

void KdeLanguageSource::onLayoutListChanged()
{
    if (readLayouts())
        readIndex();
    Q_EMIT languageChanged();
}

} // namespace brevona
