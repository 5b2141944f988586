#pragma once

#include <QSet>
#include <QStringList>

#include "InputLanguageSource.h"
#include "wayland/SwayPayloads.h"

namespace brevona {

class SwayIpcClient;
class XkbLayoutDescriptions;

// The keyboard layouts of sway's keyboards: GET_INPUTS for those present when it connects, input
// events from then on. sway names a keymap's layouts by their descriptions; they are turned back
// into XKB names. With several keyboards, the one whose layout changed last speaks for the session
// (sway switches each keyboard by itself), the first one listed until then.
class SwayLanguageSource : public InputLanguageSource
{
    Q_OBJECT
public:
    // `socketPath` empty: $SWAYSOCK. `descriptions` null: the XKB registry's.
    explicit SwayLanguageSource(QString socketPath = {}, const XkbLayoutDescriptions *descriptions = nullptr,
                                QObject *parent = nullptr);
    ~SwayLanguageSource() override;

    std::optional<QStringList> layouts() override;
    std::optional<int> currentIndex() override;
    bool notifiesChanges() const override { return true; }
    void startWatching() override;

private:
    bool ready();
    void handleEvent(quint32 type, const QByteArray &payload);
    void forget();
    const SwayPayloads::Keyboard *current() const;
    QString xkbName(const QString &description);

    SwayIpcClient *m_ipc;
    const XkbLayoutDescriptions *m_descriptions;
    bool m_connected = false;
    QList<SwayPayloads::Keyboard> m_keyboards;
    QString m_speaking; // identifier of the keyboard that changed last
    QSet<QString> m_unknownLogged;
};

} // namespace brevona
