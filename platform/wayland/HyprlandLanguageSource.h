#pragma once

#include <QList>
#include <QStringList>

#include "InputLanguageSource.h"
#include "wayland/HyprlandPayloads.h"

namespace brevona {

class HyprlandSockets;
class XkbLayoutDescriptions;

// The keyboard layouts of Hyprland's keyboards: "j/devices" gives each keyboard's layouts by their
// XKB names and the active one by its description (or index, where Hyprland gives it); the event
// socket's "activelayout" lines say when one switches. The keyboard that switched last speaks for
// the session, the main keyboard (else the first) until then.
class HyprlandLanguageSource : public InputLanguageSource
{
    Q_OBJECT
public:
    // `folder` empty: the instance folder of $HYPRLAND_INSTANCE_SIGNATURE. `descriptions` null:
    // the XKB registry's.
    explicit HyprlandLanguageSource(QString folder = {}, const XkbLayoutDescriptions *descriptions = nullptr,
                                    QObject *parent = nullptr);
    ~HyprlandLanguageSource() override;

    std::optional<QStringList> layouts() override;
    std::optional<int> currentIndex() override;
    bool notifiesChanges() const override { return true; }
    void startWatching() override;

    // The index of the active layout among a keyboard's layouts; nothing when it cannot be told.
    static std::optional<int> activeIndex(const HyprlandPayloads::Keyboard &keyboard,
                                          const XkbLayoutDescriptions &descriptions);

private:
    bool ready();
    bool readDevices();
    const HyprlandPayloads::Keyboard *current() const;

    HyprlandSockets *m_sockets;
    const XkbLayoutDescriptions *m_descriptions;
    bool m_connected = false;
    QList<HyprlandPayloads::Keyboard> m_keyboards;
    QString m_speaking;
};

} // namespace brevona
