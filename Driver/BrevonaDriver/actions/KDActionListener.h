#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "HotKeyService.h"

namespace brevona {

class Notification;

// Decides when a key's action fires. An ordinary key fires only when its global hot key and this
// keyboard's HID key-down arrive within kMatchingInterval of each other, so the same combination
// typed on another keyboard does nothing; the application keys and modifier keys with actions
// fire from the HID key-down alone. Firing posts "TRIGGER_ACTION_BUTTON" (object: the button
// identifier) on a later pass of the event loop, never inside the HID or hot-key callback.
// Main thread only.
class KDActionListener : public QObject
{
    Q_OBJECT
public:
    enum class Source
    {
        Hid,
        Hotkey
    };
    struct KeypressRecord
    {
        QString key;
        double timestamp = 0; // seconds of the listener's clock
        Source source = Source::Hid;
    };
    struct Registration
    {
        // None for a modifier key, which is never taken from the session (see registerEntry).
        std::optional<HotKeyService::Reference> reference;
        int number = 0;
    };
    // Seconds, steadily increasing.
    using Clock = std::function<double()>;
    using SpecialKeysSink = std::function<void(const QStringList &)>;

    static constexpr double kMatchingInterval = 0.05;
    static constexpr int kHighestHotkeyIndex = 998;

    // The process's listener: the session's hot keys, a steady clock and the HID watcher, created
    // on first use; or the one a test installed (the caller keeps ownership; nullptr returns to
    // the process's).
    static KDActionListener &sharedActionListener();
    static void setSharedActionListener(KDActionListener *listener);

    // `specialKeys` receives the modifier keys with actions whenever they change (the HID
    // watcher's special keys).
    KDActionListener(HotKeyService &service, Clock clock, SpecialKeysSink specialKeys,
                     QObject *parent = nullptr);
    ~KDActionListener() override;

    void beginActionRegistration();
    void setupActionForButton(const QString &identifier, int modifiers);
    void removeActionForButton(const QString &identifier, int modifiers);
    // Brings the session's hot keys in line with the entries set up since beginActionRegistration.
    void finishActionRegistration();
    void unregisterAllHotkeys();
    void triggerHotkeyEvent(int id);
    // Whether the key with that "Char" key code holds a hot key for that mask.
    bool isKeyRegistered(int keyCode, int modifiers) const;

    static bool keyIsModifier(const QString &identifier);
    // The button of a multimedia key name ("Calender*" -> "App3"); other names stay as they are.
    static QString translateKeyName(const QString &name);
    // "%@/%d": identifier and modifier mask.
    static QString entryFor(const QString &identifier, int modifiers);
    // "a%3d".
    static QString signatureFor(int id);

    const QStringList &currentActionMap() const { return m_currentActionMap; }
    const QStringList &dynamicActionMap() const { return m_dynamicActionMap; }
    const QStringList &specialKeys() const { return m_specialKeys; }
    const QHash<QString, Registration> &registeredHotkeys() const { return m_registeredHotkeys; }
    const QSet<int> &hotkeyIndexes() const { return m_hotkeyIndexes; }
    const std::vector<KeypressRecord> &keypressQueue() const { return m_keypressQueue; }

private:
    void onKeyboardUpEvent(Notification &notification);
    void enqueueKeypresses();
    void scheduleFiring(const QString &identifier);
    int nextHotkeyIndex() const;
    void registerEntry(const QString &entry);
    void unregisterEntry(const QString &entry);

    HotKeyService &m_service;
    Clock m_clock;
    SpecialKeysSink m_specialKeysSink;

    QHash<QString, Registration> m_registeredHotkeys;
    QSet<int> m_hotkeyIndexes;
    std::vector<KeypressRecord> m_keypressQueue;
    QStringList m_currentActionMap;
    QStringList m_dynamicActionMap;
    QStringList m_specialKeys;
    QStringList m_handedSpecialKeys;
};

} // namespace brevona
