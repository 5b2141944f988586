#include "KDActionListener.h"

#include <algorithm>
#include <chrono>

#include <QHash>

#include "ActionLogging.h"
#include "IOHIDWatcher.h"
#include "KeyboardData.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

namespace {

KDActionListener *g_installed = nullptr;

const QString ApplicationKeyPrefix = QStringLiteral("App");

bool isApplicationKey(const QString &identifier)
{
    return identifier.startsWith(ApplicationKeyPrefix);
}

struct Entry
{
    QString identifier;
    int modifiers = 0;
};

Entry splitEntry(const QString &entry)
{
    const qsizetype slash = entry.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {entry, 0};
    return {entry.left(slash), entry.mid(slash + 1).toInt()};
}

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

KDActionListener &KDActionListener::sharedActionListener()
{
    if (g_installed)
        return *g_installed;
    // Lives as long as the process: hot keys stay registered until a registration pass removes them.
    static auto *shared =
        new KDActionListener(HotKeyService::instance(), &steadySeconds, [](const QStringList &keys) {
            if (IOHIDWatcher *watcher = IOHIDWatcher::sharedIOHIDWatcher())
                watcher->setSpecialActionKeys(keys);
        });
    return *shared;
}

void KDActionListener::setSharedActionListener(KDActionListener *listener)
{
    g_installed = listener;
}

KDActionListener::KDActionListener(HotKeyService &service, Clock clock, SpecialKeysSink specialKeys,
                                   QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_clock(std::move(clock))
    , m_specialKeysSink(std::move(specialKeys))
{
    auto &center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::HidKeyDown, [this](Notification &n) { onKeyboardUpEvent(n); });
    center.addObserver(this, notifications::HidKeyDownSpecial,
                       [this](Notification &n) { onKeyboardUpEvent(n); });
    connect(&m_service, &HotKeyService::hotKeyPressed, this, &KDActionListener::triggerHotkeyEvent);
}

KDActionListener::~KDActionListener()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (g_installed == this)
        g_installed = nullptr;
}

bool KDActionListener::keyIsModifier(const QString &identifier)
{
    static const QSet<QString> modifiers{
        QStringLiteral("CtrlLeft"), QStringLiteral("ShiftLeft"), QStringLiteral("AltLeft"),
        QStringLiteral("CmdLeft"),  QStringLiteral("CtrlRight"), QStringLiteral("ShiftRight"),
        QStringLiteral("AltRight"), QStringLiteral("CmdRight"),  QStringLiteral("CapsLock"),
    };
    return modifiers.contains(identifier);
}

QString KDActionListener::translateKeyName(const QString &name)
{
    static const QHash<QString, QString> applicationKeys{
        {QStringLiteral("Word*"), QStringLiteral("App0")},
        {QStringLiteral("Excel*"), QStringLiteral("App1")},
        {QStringLiteral("Mail*"), QStringLiteral("App2")},
        {QStringLiteral("Calender*"), QStringLiteral("App3")},
        {QStringLiteral("Calculator*"), QStringLiteral("App4")},
        {QStringLiteral("Spell*"), QStringLiteral("App5")},
        {QStringLiteral("New*"), QStringLiteral("App6")},
        {QStringLiteral("Open*"), QStringLiteral("App7")},
        {QStringLiteral("Close*"), QStringLiteral("App8")},
        {QStringLiteral("Save*"), QStringLiteral("App9")},
    };
    return applicationKeys.value(name, name);
}

QString KDActionListener::entryFor(const QString &identifier, int modifiers)
{
    return QStringLiteral("%1/%2").arg(identifier).arg(modifiers);
}

QString KDActionListener::signatureFor(int id)
{
    return QString::asprintf("a%3d", id);
}

void KDActionListener::beginActionRegistration()
{
    m_dynamicActionMap.clear();
}

void KDActionListener::setupActionForButton(const QString &identifier, int modifiers)
{
    const QString entry = entryFor(identifier, modifiers);
    if (!m_dynamicActionMap.contains(entry))
        m_dynamicActionMap.append(entry);
}

void KDActionListener::removeActionForButton(const QString &identifier, int modifiers)
{
    m_dynamicActionMap.removeAll(entryFor(identifier, modifiers));
}

void KDActionListener::unregisterAllHotkeys()
{
    beginActionRegistration();
    finishActionRegistration();
}

int KDActionListener::nextHotkeyIndex() const
{
    for (int id = 1; id <= kHighestHotkeyIndex; ++id) {
        if (!m_hotkeyIndexes.contains(id))
            return id;
    }
    return kHighestHotkeyIndex + 1;
}

void KDActionListener::finishActionRegistration()
{
    QStringList toAdd;
    QStringList toRemove;
    for (const QString &entry : std::as_const(m_dynamicActionMap)) {
        if (!m_currentActionMap.contains(entry))
            toAdd.append(entry);
    }
    for (const QString &entry : std::as_const(m_currentActionMap)) {
        if (!m_dynamicActionMap.contains(entry))
            toRemove.append(entry);
    }
    // Releasing first: a key whose layer changed masks that the session cannot tell apart (the
    // Caps Lock bit) would otherwise find its combination still held by its old entry.
    for (const QString &entry : std::as_const(toRemove)) {
        if (!isApplicationKey(entry))
            unregisterEntry(entry);
    }
    for (const QString &entry : std::as_const(toAdd)) {
        if (!isApplicationKey(entry))
            registerEntry(entry);
    }
    m_currentActionMap = m_dynamicActionMap;
    if (m_specialKeys != m_handedSpecialKeys) {
        m_handedSpecialKeys = m_specialKeys;
        if (m_specialKeysSink)
            m_specialKeysSink(m_specialKeys);
    }
}

void KDActionListener::registerEntry(const QString &entry)
{
    // Still held from a release the session refused: keep using it.
    if (m_registeredHotkeys.contains(entry))
        return;
    const Entry parts = splitEntry(entry);
    if (keyIsModifier(parts.identifier)) {
        // A modifier key with an action fires from its own HID key-down. A session-wide grab of a
        // modifier key would take the whole keyboard while the key is down, so every shortcut
        // typed with it on any keyboard would be lost to the applications.
        m_registeredHotkeys.insert(entry, Registration{});
        if (!m_specialKeys.contains(parts.identifier))
            m_specialKeys.append(parts.identifier);
        qCDebug(lcActions).noquote() << "Modifier key" << entry << "fires from its key-down";
        return;
    }
    const KeyboardData::Key *key = KeyboardData::shared().key(parts.identifier);
    const int keyCode = key ? key->keyCode : 0;
    const int modifiers = parts.modifiers & ~hotkey_modifiers::CapsLock;
    const int id = nextHotkeyIndex();
    const auto reference = m_service.registerHotKey(keyCode, modifiers, signatureFor(id), id);
    if (!reference) {
        qCDebug(lcActions).noquote() << "Hot key for" << entry << "was not registered";
        return;
    }
    m_hotkeyIndexes.insert(id);
    m_registeredHotkeys.insert(entry, Registration{reference, id});
    qCDebug(lcActions).noquote() << QStringLiteral("Hot key %1 registered for %2").arg(id).arg(entry);
}

void KDActionListener::unregisterEntry(const QString &entry)
{
    const auto found = m_registeredHotkeys.find(entry);
    if (found == m_registeredHotkeys.end())
        return;
    if (found->reference) {
        if (!m_service.unregisterHotKey(*found->reference)) {
            qCWarning(lcActions).noquote()
                << "Hot key" << found->number << "of" << entry << "could not be released";
            return;
        }
        m_hotkeyIndexes.remove(found->number);
    }
    m_registeredHotkeys.erase(found);
    qCDebug(lcActions).noquote() << "Hot key of" << entry << "released";
    const QString identifier = splitEntry(entry).identifier;
    if (!keyIsModifier(identifier))
        return;
    // Another layer mask may still give the same modifier key an action.
    for (auto it = m_registeredHotkeys.cbegin(); it != m_registeredHotkeys.cend(); ++it) {
        if (splitEntry(it.key()).identifier == identifier)
            return;
    }
    m_specialKeys.removeAll(identifier);
}

bool KDActionListener::isKeyRegistered(int keyCode, int modifiers) const
{
    const int wanted = modifiers & ~hotkey_modifiers::CapsLock;
    for (auto it = m_registeredHotkeys.cbegin(); it != m_registeredHotkeys.cend(); ++it) {
        const Entry parts = splitEntry(it.key());
        const KeyboardData::Key *key = KeyboardData::shared().key(parts.identifier);
        if (key && key->keyCode == keyCode && (parts.modifiers & ~hotkey_modifiers::CapsLock) == wanted)
            return true;
    }
    return false;
}

void KDActionListener::onKeyboardUpEvent(Notification &notification)
{
    const QString name = translateKeyName(notification.object().toString());
    m_keypressQueue.push_back({name, m_clock(), Source::Hid});
    if (m_specialKeys.contains(name) || isApplicationKey(name))
        scheduleFiring(name);
    enqueueKeypresses();
}

void KDActionListener::triggerHotkeyEvent(int id)
{
    qCInfo(lcActions).noquote() << QStringLiteral("trigger %1").arg(id);
    for (auto it = m_registeredHotkeys.cbegin(); it != m_registeredHotkeys.cend(); ++it) {
        if (it->reference && it->number == id && m_currentActionMap.contains(it.key())) {
            m_keypressQueue.push_back({splitEntry(it.key()).identifier, m_clock(), Source::Hotkey});
            break;
        }
    }
    enqueueKeypresses();
}

void KDActionListener::enqueueKeypresses()
{
    const double now = m_clock();
    std::erase_if(m_keypressQueue,
                  [now](const KeypressRecord &record) { return now - record.timestamp > kMatchingInterval; });
    // A matched pair is used up: one key press fires its action once, however many other key
    // presses arrive while its records are still young.
    const auto hidRecordOf = [this](const QString &key) {
        return std::find_if(m_keypressQueue.begin(), m_keypressQueue.end(),
                            [&key](const KeypressRecord &record) {
                                return record.source == Source::Hid && record.key == key;
                            });
    };
    for (;;) {
        const auto hotkey =
            std::find_if(m_keypressQueue.begin(), m_keypressQueue.end(), [&](const KeypressRecord &r) {
                return r.source == Source::Hotkey && hidRecordOf(r.key) != m_keypressQueue.end();
            });
        if (hotkey == m_keypressQueue.end())
            break;
        const QString key = hotkey->key;
        const auto first = hotkey - m_keypressQueue.begin();
        const auto second = hidRecordOf(key) - m_keypressQueue.begin();
        m_keypressQueue.erase(m_keypressQueue.begin() + std::max(first, second));
        m_keypressQueue.erase(m_keypressQueue.begin() + std::min(first, second));
        scheduleFiring(key);
    }
}

void KDActionListener::scheduleFiring(const QString &identifier)
{
    QMetaObject::invokeMethod(
        this,
        [identifier] {
            qCDebug(lcActions).noquote() << "Action of" << identifier << "fires";
            NotificationCenter::defaultCenter().post(notifications::TriggerActionButton,
                                                     QVariant(identifier));
        },
        Qt::QueuedConnection);
}

} // namespace brevona
