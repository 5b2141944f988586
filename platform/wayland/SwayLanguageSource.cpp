#include "SwayLanguageSource.h"

#include "WaylandBackends.h"
#include "wayland/I3IpcCodec.h"
#include "wayland/SwayIpcClient.h"
#include "wayland/XkbLayoutDescriptions.h"

namespace brevona {

SwayLanguageSource::SwayLanguageSource(QString socketPath, const XkbLayoutDescriptions *descriptions,
                                       QObject *parent)
    : InputLanguageSource(parent)
    , m_ipc(new SwayIpcClient(std::move(socketPath), this))
    , m_descriptions(descriptions)
{
    connect(m_ipc, &SwayIpcClient::eventReceived, this, &SwayLanguageSource::handleEvent);
    connect(m_ipc, &SwayIpcClient::closed, this, &SwayLanguageSource::forget);
}

SwayLanguageSource::~SwayLanguageSource() = default;

bool SwayLanguageSource::ready()
{
    if (m_connected)
        return true;
    if (!m_ipc->open(QStringLiteral("input languages")) || !m_ipc->subscribe({QStringLiteral("input")}))
        return false;
    const auto reply = m_ipc->request(I3IpcCodec::GetInputs);
    const auto keyboards = reply ? SwayPayloads::keyboardsOfInputs(*reply) : std::nullopt;
    if (!keyboards)
        return false;
    m_keyboards = *keyboards;
    m_connected = true;
    return true;
}

void SwayLanguageSource::startWatching()
{
    ready();
}

const SwayPayloads::Keyboard *SwayLanguageSource::current() const
{
    const SwayPayloads::Keyboard *first = nullptr;
    for (const SwayPayloads::Keyboard &keyboard : m_keyboards) {
        if (keyboard.layoutNames.isEmpty())
            continue;
        if (keyboard.identifier == m_speaking)
            return &keyboard;
        if (!first)
            first = &keyboard;
    }
    return first;
}

QString SwayLanguageSource::xkbName(const QString &description)
{
    const XkbLayoutDescriptions &table = m_descriptions ? *m_descriptions : XkbLayoutDescriptions::registry();
    if (const auto name = table.layoutOf(description))
        return *name;
    if (!m_unknownLogged.contains(description)) {
        m_unknownLogged.insert(description);
        qCInfo(lcWayland).noquote() << "sway's layout" << description
                                    << "is not in the XKB registry; it goes by that name";
    }
    return description;
}

std::optional<QStringList> SwayLanguageSource::layouts()
{
    if (!ready())
        return std::nullopt;
    const SwayPayloads::Keyboard *keyboard = current();
    if (!keyboard)
        return std::nullopt;
    QStringList names;
    for (const QString &description : keyboard->layoutNames)
        names.append(xkbName(description));
    return names;
}

std::optional<int> SwayLanguageSource::currentIndex()
{
    if (!ready())
        return std::nullopt;
    const SwayPayloads::Keyboard *keyboard = current();
    if (!keyboard || keyboard->activeIndex < 0)
        return std::nullopt;
    return keyboard->activeIndex;
}

void SwayLanguageSource::handleEvent(quint32 type, const QByteArray &payload)
{
    if (type != I3IpcCodec::InputEvent)
        return;
    const auto event = SwayPayloads::inputEvent(payload);
    if (!event)
        return;
    const QString &identifier = event->keyboard.identifier;
    const auto known =
        std::find_if(m_keyboards.begin(), m_keyboards.end(),
                     [&](const SwayPayloads::Keyboard &k) { return k.identifier == identifier; });
    if (event->change == QLatin1String("removed")) {
        if (known != m_keyboards.end())
            m_keyboards.erase(known);
    } else if (known != m_keyboards.end()) {
        *known = event->keyboard;
    } else {
        m_keyboards.append(event->keyboard);
    }
    if (event->change == QLatin1String("xkb_layout"))
        m_speaking = identifier;
    Q_EMIT languageChanged();
}

void SwayLanguageSource::forget()
{
    m_connected = false;
    m_keyboards.clear();
    m_speaking.clear();
    Q_EMIT languageChanged();
}

} // namespace brevona
