#include "IOHIDWatcher.h"

#include "HidLogging.h"
#include "HotKeyService.h"
#include "KeyboardData.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "SystemModifiers.h"

namespace brevona {

namespace {

constexpr int kStandardUsagePage = 7;
constexpr int kMultimediaUsagePage = 12;

void post(const QString &notification, const QString &key)
{
    qCDebug(lcHid).noquote() << notification << key;
    NotificationCenter::defaultCenter().post(notification, QVariant(key));
}

} // namespace

IOHIDWatcher *IOHIDWatcher::sharedIOHIDWatcher()
{
    // Created once and kept for the life of the process, with the backend it reads.
    static IOHIDWatcher *shared = [] {
        auto usageTable = HidUsageTable::load(HidUsageTable::resourcePath()).value_or(HidUsageTable{});
        HidBackend *backend = HidBackend::create([usageTable](const QString &name) {
                                  return usageTable.usageForName(name);
                              }).release();
        std::unique_ptr<IOHIDWatcher> watcher = create(*backend, usageTable, SystemModifiers::instance());
        if (!watcher) {
            delete backend;
            return static_cast<IOHIDWatcher *>(nullptr);
        }
        return watcher.release();
    }();
    return shared;
}

std::unique_ptr<IOHIDWatcher> IOHIDWatcher::create(HidBackend &backend, HidUsageTable usageTable,
                                                   SystemModifiers &modifiers)
{
    std::unique_ptr<IOHIDWatcher> watcher(new IOHIDWatcher(backend, std::move(usageTable), modifiers));
    IOHIDWatcher *self = watcher.get();
    const bool watching = backend.startMatching(
        vendorID(), productID(), [self](HidEntry entry) { self->serviceMatched(entry); },
        [self](HidEntry entry) { self->keyboardRemoved(entry); });
    if (!watching) {
        backend.stopMatching();
        qCWarning(lcHid).noquote() << "Can't watch the keyboard's HID input";
        return nullptr;
    }
    return watcher;
}

IOHIDWatcher::IOHIDWatcher(HidBackend &backend, HidUsageTable usageTable, SystemModifiers &modifiers)
    : m_backend(backend)
    , m_modifiers(modifiers)
    , m_standardUsageTableNames(usageTable.standard())
    , m_multimediaUsageTableNames(usageTable.multimedia())
    , m_modifierMappingReader(modifiers)
{
    m_currentKeysTable.reserve(256);
    m_standardCookiesHashTable.reserve(256);
}

IOHIDWatcher::~IOHIDWatcher()
{
    m_backend.stopMatching();
    if (m_brevonaStandardEntry)
        m_backend.close(m_brevonaStandardEntry);
    if (m_brevonaMultimediaEntry)
        m_backend.close(m_brevonaMultimediaEntry);
}

void IOHIDWatcher::serviceMatched(HidEntry entry)
{
    const auto properties = m_backend.serviceProperties(entry);
    if (!properties || properties->vendorId != vendorID() || properties->productId != productID())
        return;
    if (properties->primaryUsage == kStandardPrimaryUsage)
        keyboardAdded(entry, false);
    else if (properties->primaryUsage == kMultimediaPrimaryUsage)
        keyboardAdded(entry, true);
}

void IOHIDWatcher::keyboardAdded(HidEntry entry, bool isMultimedia)
{
    HidEntry &attached = isMultimedia ? m_brevonaMultimediaEntry : m_brevonaStandardEntry;
    // A second keyboard of the same kind would overwrite the first one's tables; the first stays.
    if (attached != 0 || entry == 0)
        return;
    const int error = m_backend.open(entry);
    if (error != 0) {
        qCWarning(lcHid).noquote() << QString::asprintf("Can't create IOHIDInterface, error=0x%XL",
                                                        static_cast<unsigned>(error));
        return;
    }
    const int page = isMultimedia ? kMultimediaUsagePage : kStandardUsagePage;
    const auto elements =
        m_backend.createQueue(entry, kQueueDepth) ? m_backend.copyElements(entry, page) : std::nullopt;
    if (!elements) {
        m_backend.close(entry);
        return;
    }
    const QHash<int, QString> &names = isMultimedia ? m_multimediaUsageTableNames : m_standardUsageTableNames;
    QHash<HidCookie, int> standardCookies;
    QMap<HidCookie, int> multimediaCookies;
    QHash<QString, bool> states;
    for (const HidElement &element : *elements) {
        if (element.usagePage != page)
            continue;
        if (isMultimedia)
            multimediaCookies.insert(element.cookie, element.usage);
        else
            standardCookies.insert(element.cookie, element.usage);
        const QString name = names.value(element.usage);
        if (name.isEmpty())
            continue;
        states.insert(name, m_backend.elementValue(entry, element.cookie).value_or(0) != 0);
        m_backend.addElementToQueue(entry, element.cookie);
    }
    const bool started = m_backend.startQueue(entry, [this, isMultimedia] {
        if (isMultimedia)
            multimediaQueueCallback();
        else
            standardQueueCallback();
    });
    if (!started) {
        m_backend.close(entry);
        return;
    }
    if (isMultimedia)
        m_multimediaCookiesHashTable = multimediaCookies;
    else
        m_standardCookiesHashTable = standardCookies;
    for (auto it = states.constBegin(); it != states.constEnd(); ++it)
        m_currentKeysTable.insert(it.key(), it.value());
    attached = entry;
}

void IOHIDWatcher::keyboardRemoved(HidEntry entry)
{
    if (entry == 0)
        return;
    if (entry == m_brevonaStandardEntry)
        detach(m_brevonaStandardEntry, &m_standardCookiesHashTable, nullptr);
    else if (entry == m_brevonaMultimediaEntry)
        detach(m_brevonaMultimediaEntry, nullptr, &m_multimediaCookiesHashTable);
}

void IOHIDWatcher::detach(HidEntry &entry, QHash<HidCookie, int> *standardCookies,
                          QMap<HidCookie, int> *multimediaCookies)
{
    const HidEntry leaving = entry;
    entry = 0;
    m_backend.close(leaving);
    if (standardCookies)
        standardCookies->clear();
    if (multimediaCookies)
        multimediaCookies->clear();
    // Key states exist only while the keyboard is there: detaching either interface forgets them all.
    m_currentKeysTable.clear();
}

void IOHIDWatcher::standardQueueCallback()
{
    const HidEntry entry = m_brevonaStandardEntry;
    while (entry != 0 && entry == m_brevonaStandardEntry) {
        const auto queued = m_backend.nextQueuedValue(entry);
        if (!queued)
            break;
        if (queued->type == HidElementType::Button)
            eventForCookie(queued->cookie, queued->value);
    }
}

void IOHIDWatcher::eventForCookie(HidCookie cookie, qint32 value)
{
    const int usage = m_standardCookiesHashTable.value(cookie, 0);
    if (usage == 0 || usage == 1)
        return;
    const QString name = m_standardUsageTableNames.value(usage);
    if (name.isEmpty())
        return;
    if (m_specialActionKeys.contains(name)) {
        // A key that became special while it was held still goes up: it must not stay held.
        if (value == 0)
            m_currentKeysTable.insert(name, false);
        post(value != 0 ? notifications::HidKeyDownSpecial : notifications::HidKeyUpSpecial, name);
        return;
    }
    m_currentKeysTable.insert(name, value != 0);
    post(value != 0 ? notifications::HidKeyDown : notifications::HidKeyUp, name);
}

void IOHIDWatcher::multimediaQueueCallback()
{
    const HidEntry entry = m_brevonaMultimediaEntry;
    if (entry == 0)
        return;
    // Only the resulting states matter: the queue just says that something changed.
    while (m_backend.nextQueuedValue(entry)) {
    }
    triggerMultimediaEvent();
}

void IOHIDWatcher::triggerMultimediaEvent()
{
    const HidEntry entry = m_brevonaMultimediaEntry;
    if (entry == 0)
        return;
    // Observers run inside the loop and may detach the interface; walk a copy.
    const QMap<HidCookie, int> cookies = m_multimediaCookiesHashTable;
    for (auto it = cookies.constBegin(); it != cookies.constEnd() && entry == m_brevonaMultimediaEntry;
         ++it) {
        const auto value = m_backend.elementValue(entry, it.key());
        if (!value)
            continue;
        const QString name = m_multimediaUsageTableNames.value(it.value());
        if (name.isEmpty())
            continue;
        const bool pressed = *value != 0;
        if (pressed == m_currentKeysTable.value(name, false))
            continue;
        m_currentKeysTable.insert(name, pressed);
        post(pressed ? notifications::HidKeyDown : notifications::HidKeyUp, name);
    }
}

void IOHIDWatcher::setSpecialActionKeys(const QStringList &keys)
{
    m_specialActionKeys = keys;
}

bool IOHIDWatcher::isKeyPressed(const QString &name)
{
    const QHash<QString, QString> &map = m_modifierMappingReader.getMap();
    // The key itself, unless the system made it act as another.
    if (map.value(name, name) == name && m_currentKeysTable.value(name, false))
        return true;
    // Every key the system made act as this one.
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (it.value() == name && it.key() != name && m_currentKeysTable.value(it.key(), false))
            return true;
    }
    return false;
}

bool IOHIDWatcher::modifierState(int modifier, const QString &left, const QString &right)
{
    // Where the session tells which keys give the modifier, its answer holds: it is the one the
    // global hot keys match with, so a layout's AltGr is no Option for either.
    if (const auto codes = m_modifiers.modifierKeyCodes()) {
        const QSet<int> holders = codes->value(modifier);
        const KeyboardData &keyboard = KeyboardData::shared();
        for (auto it = m_currentKeysTable.constBegin(); it != m_currentKeysTable.constEnd(); ++it) {
            const KeyboardData::Key *key = it.value() ? keyboard.key(it.key()) : nullptr;
            if (key && holders.contains(key->keyCode))
                return true;
        }
        return false;
    }
    return isKeyPressed(left) || isKeyPressed(right);
}

bool IOHIDWatcher::altState()
{
    return modifierState(hotkey_modifiers::Option, QStringLiteral("AltLeft"), QStringLiteral("AltRight"));
}

bool IOHIDWatcher::shiftState()
{
    return modifierState(hotkey_modifiers::Shift, QStringLiteral("ShiftLeft"), QStringLiteral("ShiftRight"));
}

bool IOHIDWatcher::ctrlState()
{
    return modifierState(hotkey_modifiers::Control, QStringLiteral("CtrlLeft"), QStringLiteral("CtrlRight"));
}

bool IOHIDWatcher::cmdState()
{
    return modifierState(hotkey_modifiers::Command, QStringLiteral("CmdLeft"), QStringLiteral("CmdRight"));
}

bool IOHIDWatcher::isCapsLocked()
{
    return m_modifiers.isCapsLocked().value_or(false);
}

bool IOHIDWatcher::isKeyboardConnected() const
{
    return m_brevonaStandardEntry != 0 && m_backend.isServiceAlive(m_brevonaStandardEntry);
}

} // namespace brevona
