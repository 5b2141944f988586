#include "XkbKeyboardLayouts.h"

#include <array>
#include <cstdarg>
#include <cstdio>

#include <QLoggingCategory>
#include <QRegularExpression>

#include <libintl.h>
#include <xkbcommon/xkbcommon.h>
#include <xkbcommon/xkbregistry.h>

// xkbcommon's own lines go to debug output, which is off unless asked for.
Q_LOGGING_CATEGORY(lcKeyboardLayouts, "brevona.platform.layouts", QtInfoMsg)

namespace brevona {

namespace {

// xkbcommon reports every line of a failed compilation; one line of our own says it better.
void quietLog(xkb_context *, xkb_log_level, const char *format, va_list arguments)
{
    std::array<char, 512> line{};
    std::vsnprintf(line.data(), line.size(), format, arguments);
    qCDebug(lcKeyboardLayouts, "xkbcommon: %s", QByteArray(line.data()).trimmed().constData());
}

void quietRegistryLog(rxkb_context *, rxkb_log_level, const char *format, va_list arguments)
{
    std::array<char, 512> line{};
    std::vsnprintf(line.data(), line.size(), format, arguments);
    qCDebug(lcKeyboardLayouts, "xkbregistry: %s", QByteArray(line.data()).trimmed().constData());
}

struct DeadKey
{
    quint32 keysym;
    const char16_t *text;
};

// Spacing forms where Unicode has one; otherwise the combining mark on a no-break space, which is
// how such an accent is shown on its own.
constexpr DeadKey kDeadKeys[] = {
    {XKB_KEY_dead_grave, u"`"},
    {XKB_KEY_dead_acute, u"\u00B4"},
    {XKB_KEY_dead_circumflex, u"^"},
    {XKB_KEY_dead_tilde, u"~"},
    {XKB_KEY_dead_macron, u"\u00AF"},
    {XKB_KEY_dead_breve, u"\u02D8"},
    {XKB_KEY_dead_abovedot, u"\u02D9"},
    {XKB_KEY_dead_diaeresis, u"\u00A8"},
    {XKB_KEY_dead_abovering, u"\u02DA"},
    {XKB_KEY_dead_doubleacute, u"\u02DD"},
    {XKB_KEY_dead_caron, u"\u02C7"},
    {XKB_KEY_dead_cedilla, u"\u00B8"},
    {XKB_KEY_dead_ogonek, u"\u02DB"},
    {XKB_KEY_dead_iota, u"\u037A"},
    {XKB_KEY_dead_voiced_sound, u"\u309B"},
    {XKB_KEY_dead_semivoiced_sound, u"\u309C"},
    {XKB_KEY_dead_currency, u"\u00A4"},
    {XKB_KEY_dead_belowdot, u"\u00A0\u0323"},
    {XKB_KEY_dead_hook, u"\u00A0\u0309"},
    {XKB_KEY_dead_horn, u"\u00A0\u031B"},
    {XKB_KEY_dead_stroke, u"\u00A0\u0338"},
    {XKB_KEY_dead_abovecomma, u"\u00A0\u0313"},
    {XKB_KEY_dead_abovereversedcomma, u"\u00A0\u0314"},
    {XKB_KEY_dead_doublegrave, u"\u00A0\u030F"},
    {XKB_KEY_dead_belowring, u"\u00A0\u0325"},
    {XKB_KEY_dead_belowmacron, u"\u00A0\u0331"},
    {XKB_KEY_dead_belowcircumflex, u"\u00A0\u032D"},
    {XKB_KEY_dead_belowtilde, u"\u00A0\u0330"},
    {XKB_KEY_dead_belowbreve, u"\u00A0\u032E"},
    {XKB_KEY_dead_belowdiaeresis, u"\u00A0\u0324"},
    {XKB_KEY_dead_invertedbreve, u"\u00A0\u0311"},
    {XKB_KEY_dead_belowcomma, u"\u00A0\u0326"},
    {XKB_KEY_dead_lowline, u"\u00A0\u0332"},
    {XKB_KEY_dead_aboveverticalline, u"\u00A0\u030D"},
    {XKB_KEY_dead_belowverticalline, u"\u00A0\u0329"},
    {XKB_KEY_dead_longsolidusoverlay, u"\u00A0\u0338"},
};

xkb_mod_mask_t modifierMask(xkb_keymap *keymap, const char *name)
{
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index < 32 ? xkb_mod_mask_t(1) << index : 0;
}

// Control characters have no picture.
bool isPrintable(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

} // namespace

struct XkbKeyboardLayouts::Keymap
{
    xkb_keymap *keymap = nullptr;
    // The key that selects the third level (ISO_Level3_Shift); 0 when the layout has none.
    xkb_keycode_t levelThreeKey = 0;
    xkb_mod_mask_t shift = 0;
    xkb_mod_mask_t lock = 0;

    ~Keymap() { xkb_keymap_unref(keymap); }
};

XkbKeyboardLayouts::XkbKeyboardLayouts() = default;

XkbKeyboardLayouts::~XkbKeyboardLayouts()
{
    m_keymaps.clear();
    xkb_context_unref(m_context);
}

std::optional<std::pair<QString, QString>> XkbKeyboardLayouts::splitName(const QString &layout)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([A-Za-z0-9_+-]+)(?:\\(([A-Za-z0-9_+-]+)\\))?$"));
    const QRegularExpressionMatch match = pattern.match(layout);
    if (!match.hasMatch())
        return std::nullopt;
    return std::pair{match.captured(1), match.captured(2)};
}

QString XkbKeyboardLayouts::spacingCharacterOfDeadKey(quint32 keysym)
{
    for (const DeadKey &dead : kDeadKeys) {
        if (dead.keysym == keysym)
            return QString::fromUtf16(dead.text);
    }
    return {};
}

void XkbKeyboardLayouts::loadRegistry()
{
    m_descriptions.emplace();
    rxkb_context *registry = rxkb_context_new(RXKB_CONTEXT_NO_FLAGS);
    if (!registry) {
        qCWarning(lcKeyboardLayouts) << "The XKB registry cannot be opened; layouts are shown by their names";
        return;
    }
    rxkb_context_set_log_fn(registry, quietRegistryLog);
    if (!rxkb_context_parse_default_ruleset(registry)) {
        qCWarning(lcKeyboardLayouts)
            << "The XKB registry's layout list cannot be read; layouts are shown by their"
               " names";
        rxkb_context_unref(registry);
        return;
    }
    for (rxkb_layout *entry = rxkb_layout_first(registry); entry; entry = rxkb_layout_next(entry)) {
        const char *description = rxkb_layout_get_description(entry);
        if (!description)
            continue;
        const char *variant = rxkb_layout_get_variant(entry);
        const QString name =
            variant ? QStringLiteral("%1(%2)").arg(QString::fromUtf8(rxkb_layout_get_name(entry)),
                                                   QString::fromUtf8(variant))
                    : QString::fromUtf8(rxkb_layout_get_name(entry));
        // The registry's descriptions are English; the desktops translate them with this catalogue.
        m_descriptions->insert(name, QString::fromUtf8(dgettext("xkeyboard-config", description)));
    }
    rxkb_context_unref(registry);
}

std::optional<QString> XkbKeyboardLayouts::displayName(const QString &layout)
{
    std::lock_guard guard(m_lock);
    if (!m_descriptions)
        loadRegistry();
    const auto it = m_descriptions->constFind(layout);
    if (it == m_descriptions->constEnd())
        return std::nullopt;
    return *it;
}

std::shared_ptr<const XkbKeyboardLayouts::Keymap> XkbKeyboardLayouts::keymap(const QString &layout)
{
    const auto cached = m_keymaps.constFind(layout);
    if (cached != m_keymaps.constEnd())
        return *cached;
    // Failures are remembered too: one log line per layout, and no compiling again.
    std::shared_ptr<Keymap> result;
    const auto parts = splitName(layout);
    if (!parts) {
        qCWarning(lcKeyboardLayouts, "\"%s\" is no keyboard layout name; its keys are not translated",
                  qPrintable(layout));
    } else {
        if (!m_context) {
            m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
            if (m_context)
                xkb_context_set_log_fn(m_context, quietLog);
        }
        const QByteArray name = parts->first.toUtf8();
        const QByteArray variant = parts->second.toUtf8();
        const xkb_rule_names names{"evdev", "pc105", name.constData(), variant.constData(), ""};
        xkb_keymap *compiled =
            m_context ? xkb_keymap_new_from_names(m_context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
        if (!compiled) {
            qCWarning(lcKeyboardLayouts,
                      "Keyboard layout \"%s\" cannot be loaded; its keys are not translated",
                      qPrintable(layout));
        } else {
            result = std::make_shared<Keymap>();
            result->keymap = compiled;
            result->shift = modifierMask(compiled, XKB_MOD_NAME_SHIFT);
            result->lock = modifierMask(compiled, XKB_MOD_NAME_CAPS);
            const xkb_keycode_t last = xkb_keymap_max_keycode(compiled);
            for (xkb_keycode_t code = xkb_keymap_min_keycode(compiled); code <= last; ++code) {
                const xkb_keysym_t *symbols = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(compiled, code, 0, 0, &symbols);
                if (count == 1 && symbols[0] == XKB_KEY_ISO_Level3_Shift) {
                    result->levelThreeKey = code;
                    break;
                }
            }
        }
    }
    m_keymaps.insert(layout, result);
    return result;
}

std::optional<QString> XkbKeyboardLayouts::characters(const QString &layout, int keyCode, unsigned modifiers)
{
    // xkbcommon counts references to a keymap without atomics: states are made under the lock.
    std::lock_guard guard(m_lock);
    const std::shared_ptr<const Keymap> map = keymap(layout);
    if (!map)
        return std::nullopt;
    if (keyCode < int(xkb_keymap_min_keycode(map->keymap)) ||
        keyCode > int(xkb_keymap_max_keycode(map->keymap)))
        return QString();
    xkb_state *state = xkb_state_new(map->keymap);
    if (!state)
        return QString();
    if ((modifiers & ThirdLevel) && map->levelThreeKey)
        xkb_state_update_key(state, map->levelThreeKey, XKB_KEY_DOWN);
    xkb_mod_mask_t depressed = xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED);
    if (modifiers & Shift)
        depressed |= map->shift;
    const xkb_mod_mask_t locked = (modifiers & CapsLock) ? map->lock : 0;
    xkb_state_update_mask(state, depressed, 0, locked, 0, 0, 0);

    const auto code = xkb_keycode_t(keyCode);
    QString text = spacingCharacterOfDeadKey(xkb_state_key_get_one_sym(state, code));
    if (text.isEmpty()) {
        const int size = xkb_state_key_get_utf8(state, code, nullptr, 0);
        if (size > 0) {
            QByteArray utf8(size + 1, '\0');
            xkb_state_key_get_utf8(state, code, utf8.data(), size_t(utf8.size()));
            utf8.truncate(size);
            text = QString::fromUtf8(utf8);
        }
    }
    xkb_state_unref(state);
    return isPrintable(text) ? text : QString();
}

} // namespace brevona
