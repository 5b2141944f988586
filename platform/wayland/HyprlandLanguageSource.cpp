#include "HyprlandLanguageSource.h"

#include "wayland/HyprlandSockets.h"
#include "wayland/XkbLayoutDescriptions.h"

namespace brevona {

HyprlandLanguageSource::HyprlandLanguageSource(QString folder, const XkbLayoutDescriptions *descriptions,
                                               QObject *parent)
    : InputLanguageSource(parent)
    , m_sockets(new HyprlandSockets(std::move(folder), this))
    , m_descriptions(descriptions)
{
    connect(m_sockets, &HyprlandSockets::closed, this, [this] {
        m_connected = false;
        m_keyboards.clear();
        Q_EMIT languageChanged();
    });
    connect(m_sockets, &HyprlandSockets::eventReceived, this, [this](const HyprlandPayloads::Event &event) {
        if (event.name != QLatin1String("activelayout"))
            return;
        // KEYBOARD,LAYOUT: descriptions hold commas, keyboard names do not.
        m_speaking = HyprlandPayloads::fields(event.data, 2).value(0);
        readDevices();
        Q_EMIT languageChanged();
    });
}

HyprlandLanguageSource::~HyprlandLanguageSource() = default;

std::optional<int> HyprlandLanguageSource::activeIndex(const HyprlandPayloads::Keyboard &keyboard,
                                                       const XkbLayoutDescriptions &descriptions)
{
    if (keyboard.activeIndex >= 0 && keyboard.activeIndex < keyboard.layouts.size())
        return keyboard.activeIndex;
    for (qsizetype i = 0; i < keyboard.layouts.size(); ++i) {
        if (descriptions.descriptionOf(keyboard.layouts.at(i)) == keyboard.activeKeymap)
            return int(i);
    }
    return std::nullopt;
}

bool HyprlandLanguageSource::readDevices()
{
    const auto reply = m_sockets->request("j/devices");
    const auto keyboards = reply ? HyprlandPayloads::keyboards(*reply) : std::nullopt;
    if (!keyboards)
        return false;
    m_keyboards = *keyboards;
    return true;
}

bool HyprlandLanguageSource::ready()
{
    if (!m_connected)
        m_connected = m_sockets->openEvents(QStringLiteral("input languages")) && readDevices();
    return m_connected;
}

void HyprlandLanguageSource::startWatching()
{
    ready();
}

const HyprlandPayloads::Keyboard *HyprlandLanguageSource::current() const
{
    const HyprlandPayloads::Keyboard *chosen = nullptr;
    for (const HyprlandPayloads::Keyboard &keyboard : m_keyboards) {
        if (keyboard.layouts.isEmpty())
            continue;
        if (keyboard.name == m_speaking)
            return &keyboard;
        if (!chosen || (keyboard.main && !chosen->main))
            chosen = &keyboard;
    }
    return chosen;
}

std::optional<QStringList> HyprlandLanguageSource::layouts()
{
    const HyprlandPayloads::Keyboard *keyboard = ready() ? current() : nullptr;
    if (!keyboard)
        return std::nullopt;
    return keyboard->layouts;
}

std::optional<int> HyprlandLanguageSource::currentIndex()
{
    const HyprlandPayloads::Keyboard *keyboard = ready() ? current() : nullptr;
    if (!keyboard)
        return std::nullopt;
    return activeIndex(*keyboard, m_descriptions ? *m_descriptions : XkbLayoutDescriptions::registry());
}

} // namespace brevona
