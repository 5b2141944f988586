#include "linux/X11HotKeyService.h"

#include <QSet>

#include "linux/X11AppEventConnection.h"
#include "linux/XcbReply.h"

namespace brevona {

namespace {

constexpr xcb_keysym_t kNumLockKeysym = 0xff7f;
constexpr quint16 kModifierBits = 0xff;
constexpr quint8 kMinKeyCode = 8;

} // namespace

X11HotKeyService::X11HotKeyService(QString display, QObject *parent)
    : HotKeyService(parent)
    , m_connection(new X11AppEventConnection(std::move(display),
                                             QStringLiteral("global hot keys are not available"), this))
{
    m_connection->setEventHandler([this](const xcb_generic_event_t &event) { onEvent(event); });
    // A server that comes back takes the hot keys again at once, not at the next registration.
    m_connection->setConnectHandler([this] { connection(); });
}

X11HotKeyService::~X11HotKeyService()
{
    if (m_grabs.empty())
        return;
    if (xcb_connection_t *c = m_connection->get()) {
        for (const auto &[reference, entry] : m_grabs)
            ungrab(c, entry);
        xcb_flush(c);
    }
}

quint16 X11HotKeyService::x11Modifiers(int modifiers)
{
    quint16 bits = 0;
    if (modifiers & hotkey_modifiers::Command)
        bits |= XCB_MOD_MASK_4;
    if (modifiers & hotkey_modifiers::Shift)
        bits |= XCB_MOD_MASK_SHIFT;
    if (modifiers & hotkey_modifiers::Option)
        bits |= XCB_MOD_MASK_1;
    if (modifiers & hotkey_modifiers::Control)
        bits |= XCB_MOD_MASK_CONTROL;
    return bits;
}

std::vector<quint16> X11HotKeyService::lockVariants() const
{
    std::vector<quint16> variants{0, XCB_MOD_MASK_LOCK};
    if (m_numLockMask != 0 && m_numLockMask != XCB_MOD_MASK_LOCK) {
        variants.push_back(m_numLockMask);
        variants.push_back(m_numLockMask | XCB_MOD_MASK_LOCK);
    }
    return variants;
}

quint16 X11HotKeyService::readNumLockMask(xcb_connection_t *c) const
{
    const xcb_setup_t *setup = xcb_get_setup(c);
    const xcb_get_keyboard_mapping_cookie_t keysCookie =
        xcb_get_keyboard_mapping(c, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1);
    const xcb_get_modifier_mapping_cookie_t modifiersCookie = xcb_get_modifier_mapping(c);
    const XcbReply<xcb_get_keyboard_mapping_reply_t> keys(
        xcb_get_keyboard_mapping_reply(c, keysCookie, nullptr));
    const XcbReply<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(c, modifiersCookie, nullptr));
    quint16 mask = 0;
    if (keys && modifiers && keys->keysyms_per_keycode > 0) {
        QSet<xcb_keycode_t> numLockKeys;
        const xcb_keysym_t *keysyms = xcb_get_keyboard_mapping_keysyms(keys.get());
        const int count = xcb_get_keyboard_mapping_keysyms_length(keys.get());
        for (int i = 0; i < count; ++i) {
            if (keysyms[i] == kNumLockKeysym)
                numLockKeys.insert(
                    static_cast<xcb_keycode_t>(setup->min_keycode + i / keys->keysyms_per_keycode));
        }
        const xcb_keycode_t *holders = xcb_get_modifier_mapping_keycodes(modifiers.get());
        const int perModifier = modifiers->keycodes_per_modifier;
        const int length = xcb_get_modifier_mapping_keycodes_length(modifiers.get());
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int k = 0; k < perModifier && modifier * perModifier + k < length; ++k) {
                const xcb_keycode_t code = holders[modifier * perModifier + k];
                if (code != 0 && numLockKeys.contains(code))
                    mask |= quint16(1u << modifier);
            }
        }
    }
    return mask;
}

xcb_connection_t *X11HotKeyService::connection()
{
    xcb_connection_t *c = m_connection->get();
    if (!c || m_connection->generation() == m_generation)
        return c;
    m_generation = m_connection->generation();
    m_numLockMask = readNumLockMask(c);
    // A server we meet again (or anew) holds none of our grabs.
    for (const auto &[reference, entry] : m_grabs) {
        if (!grab(c, entry))
            qCWarning(lcX11).noquote()
                << "Hot key" << entry.id << "could not be taken again on the new X server";
    }
    return c;
}

bool X11HotKeyService::grab(xcb_connection_t *c, const Grab &entry)
{
    std::vector<xcb_void_cookie_t> cookies;
    for (quint16 variant : lockVariants()) {
        cookies.push_back(xcb_grab_key_checked(c, 0, m_connection->root(), entry.modifiers | variant,
                                               entry.keyCode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    int refusal = 0;
    for (const xcb_void_cookie_t &cookie : cookies) {
        if (const XcbReply<xcb_generic_error_t> error{xcb_request_check(c, cookie)})
            refusal = error->error_code;
    }
    // Events that came in with the replies no longer wake the event loop; hand them over later, so
    // that no hot key fires inside a registration.
    QMetaObject::invokeMethod(
        m_connection, [connection = m_connection] { connection->dispatch(); }, Qt::QueuedConnection);
    if (refusal == 0)
        return true;
    ungrab(c, entry);
    qCWarning(lcX11).noquote() << QStringLiteral(
                                      "The X server refused hot key %1 (key code %2, modifiers 0x%3): %4")
                                      .arg(entry.id)
                                      .arg(entry.keyCode)
                                      .arg(entry.modifiers, 0, 16)
                                      .arg(refusal == XCB_ACCESS ? QStringLiteral("another program holds it")
                                                                 : QStringLiteral("error %1").arg(refusal));
    return false;
}

void X11HotKeyService::ungrab(xcb_connection_t *c, const Grab &entry)
{
    for (quint16 variant : lockVariants())
        xcb_ungrab_key(c, entry.keyCode, m_connection->root(), entry.modifiers | variant);
    xcb_flush(c);
}

std::optional<HotKeyService::Reference> X11HotKeyService::registerHotKey(int keyCode, int modifiers,
                                                                         const QString &signature, int id)
{
    if (keyCode < kMinKeyCode || keyCode > 255) {
        qCWarning(lcX11).noquote() << "Hot key" << signature << "has no X key code:" << keyCode;
        return std::nullopt;
    }
    const Grab entry{static_cast<xcb_keycode_t>(keyCode), x11Modifiers(modifiers), id};
    for (const auto &[reference, held] : m_grabs) {
        if (held.keyCode == entry.keyCode && held.modifiers == entry.modifiers) {
            qCWarning(lcX11).noquote() << "Hot key" << signature << "is taken already by hot key" << held.id;
            return std::nullopt;
        }
    }
    xcb_connection_t *c = connection();
    if (!c)
        return std::nullopt;
    const xcb_setup_t *setup = xcb_get_setup(c);
    if (keyCode < setup->min_keycode || keyCode > setup->max_keycode) {
        qCWarning(lcX11).noquote() << "Hot key" << signature
                                   << "has a key code the X server lacks:" << keyCode;
        return std::nullopt;
    }
    if (!grab(c, entry))
        return std::nullopt;
    const Reference reference = m_nextReference++;
    m_grabs.emplace(reference, entry);
    return reference;
}

bool X11HotKeyService::unregisterHotKey(Reference reference)
{
    const auto found = m_grabs.find(reference);
    if (found == m_grabs.end())
        return false;
    // Without a server the grab went with it.
    if (xcb_connection_t *c = connection())
        ungrab(c, found->second);
    m_grabs.erase(found);
    return true;
}

void X11HotKeyService::onEvent(const xcb_generic_event_t &event)
{
    const quint8 type = event.response_type & 0x7f;
    if (type == XCB_KEY_PRESS) {
        const auto &press = reinterpret_cast<const xcb_key_press_event_t &>(event);
        const quint16 held = press.state & kModifierBits & ~(XCB_MOD_MASK_LOCK | m_numLockMask);
        for (const auto &[reference, entry] : m_grabs) {
            if (entry.keyCode == press.detail && entry.modifiers == held) {
                Q_EMIT hotKeyPressed(entry.id);
                return;
            }
        }
    } else if (type == XCB_MAPPING_NOTIFY) {
        const auto &change = reinterpret_cast<const xcb_mapping_notify_event_t &>(event);
        if (change.request == XCB_MAPPING_MODIFIER || change.request == XCB_MAPPING_KEYBOARD)
            onKeymapChanged();
    }
}

void X11HotKeyService::onKeymapChanged()
{
    xcb_connection_t *c = m_connection->get();
    if (!c)
        return;
    const quint16 mask = readNumLockMask(c);
    if (mask == m_numLockMask)
        return;
    // Num Lock moved to another modifier: the grabs of its old variant would no longer match.
    for (const auto &[reference, entry] : m_grabs)
        ungrab(c, entry);
    m_numLockMask = mask;
    for (const auto &[reference, entry] : m_grabs) {
        if (!grab(c, entry))
            qCWarning(lcX11).noquote()
                << "Hot key" << entry.id << "could not be taken again after a keymap change";
    }
}

} // namespace brevona
