#pragma once

#include <memory>

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include "HidBackend.h"
#include "HidUsageTable.h"
#include "KDModifierMappingReader.h"

namespace brevona {

class SystemModifiers;

// Watches the keyboard's two HID interfaces (the standard keyboard and the multimedia one),
// turns each press and release into a named key event posted on the default notification centre
// ("HIDWATCHER_KEYDOWN", "HIDWATCHER_KEYUP" and their "_SPECIAL" forms, object: the key name),
// and keeps the up/down state of every named key. Everything runs on the main thread.
class IOHIDWatcher
{
public:
    static constexpr int vendorID() { return 0x04D9; }
    static constexpr int productID() { return 0x0022; }
    static constexpr int kStandardPrimaryUsage = 6;
    static constexpr int kMultimediaPrimaryUsage = 1;
    static constexpr int kQueueDepth = 50;

    // The process's watcher, created on first use on the system's (or the simulated) keyboard
    // input; nothing when input devices cannot be watched at all, and then never.
    static IOHIDWatcher *sharedIOHIDWatcher();
    // A watcher on the given backend, which must outlive it; nothing when the backend cannot
    // watch. An interface attached already is picked up before this returns.
    static std::unique_ptr<IOHIDWatcher> create(HidBackend &backend, HidUsageTable usageTable,
                                                SystemModifiers &modifiers);

    ~IOHIDWatcher();
    IOHIDWatcher(const IOHIDWatcher &) = delete;
    IOHIDWatcher &operator=(const IOHIDWatcher &) = delete;

    // Keys reported through the "_SPECIAL" notifications only.
    void setSpecialActionKeys(const QStringList &keys);
    const QStringList &specialActionKeys() const { return m_specialActionKeys; }

    // Whether a key acting as `name` is held: the key itself unless the system remapped it to act
    // as another, and every key the system remapped to act as `name`.
    bool isKeyPressed(const QString &name);
    // Whether a key giving Option (Shift, Control, Command) is held: by the session's own list of
    // the keys that give it where the session has one, else the left or right key by name.
    bool altState();
    bool shiftState();
    bool ctrlState();
    bool cmdState();
    // Caps Lock of the system's keyboard state, not of this keyboard.
    bool isCapsLocked();
    // The standard interface is attached and still present.
    bool isKeyboardConnected() const;

    void keyboardAdded(HidEntry entry, bool isMultimedia);
    void keyboardRemoved(HidEntry entry);
    void eventForCookie(HidCookie cookie, qint32 value);
    void triggerMultimediaEvent();

    KDModifierMappingReader &modifierMappingReader() { return m_modifierMappingReader; }
    const QHash<QString, bool> &currentKeysTable() const { return m_currentKeysTable; }
    HidEntry standardEntry() const { return m_brevonaStandardEntry; }
    HidEntry multimediaEntry() const { return m_brevonaMultimediaEntry; }

private:
    IOHIDWatcher(HidBackend &backend, HidUsageTable usageTable, SystemModifiers &modifiers);

    void serviceMatched(HidEntry entry);
    bool modifierState(int modifier, const QString &left, const QString &right);
    void standardQueueCallback();
    void multimediaQueueCallback();
    void detach(HidEntry &entry, QHash<HidCookie, int> *standardCookies,
                QMap<HidCookie, int> *multimediaCookies);

    HidBackend &m_backend;
    SystemModifiers &m_modifiers;
    HidEntry m_brevonaStandardEntry = 0;
    HidEntry m_brevonaMultimediaEntry = 0;
    QHash<HidCookie, int> m_standardCookiesHashTable;
    QHash<int, QString> m_standardUsageTableNames;
    // Ordered, so that the multimedia keys are polled in one fixed order.
    QMap<HidCookie, int> m_multimediaCookiesHashTable;
    QHash<int, QString> m_multimediaUsageTableNames;
    QHash<QString, bool> m_currentKeysTable;
    QStringList m_specialActionKeys;
    KDModifierMappingReader m_modifierMappingReader;
};

} // namespace brevona
