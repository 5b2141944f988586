#include "XkbLayoutDescriptions.h"

#include <xkbcommon/xkbregistry.h>

#include "WaylandBackends.h"

namespace brevona {

namespace {

void quietRegistryLog(rxkb_context *, rxkb_log_level, const char *, va_list) {}

} // namespace

XkbLayoutDescriptions::XkbLayoutDescriptions()
{
    rxkb_context *registry = rxkb_context_new(RXKB_CONTEXT_NO_FLAGS);
    if (!registry) {
        qCWarning(lcWayland) << "The XKB registry cannot be opened; layouts go by the compositor's names";
        return;
    }
    rxkb_context_set_log_fn(registry, quietRegistryLog);
    if (!rxkb_context_parse_default_ruleset(registry)) {
        qCWarning(lcWayland) << "The XKB registry's layout list cannot be read; layouts go by the"
                                " compositor's names";
        rxkb_context_unref(registry);
        return;
    }
    QList<std::pair<QString, QString>> variants;
    for (rxkb_layout *entry = rxkb_layout_first(registry); entry; entry = rxkb_layout_next(entry)) {
        const char *description = rxkb_layout_get_description(entry);
        if (!description)
            continue;
        const QString layout = QString::fromUtf8(rxkb_layout_get_name(entry));
        if (const char *variant = rxkb_layout_get_variant(entry))
            variants.append({QStringLiteral("%1(%2)").arg(layout, QString::fromUtf8(variant)),
                             QString::fromUtf8(description)});
        else
            add(layout, QString::fromUtf8(description));
    }
    for (const auto &[name, description] : std::as_const(variants))
        add(name, description);
    rxkb_context_unref(registry);
}

XkbLayoutDescriptions::XkbLayoutDescriptions(const QList<std::pair<QString, QString>> &table)
{
    for (const auto &[name, description] : table)
        add(name, description);
}

void XkbLayoutDescriptions::add(const QString &name, const QString &description)
{
    if (!m_names.contains(description))
        m_names.insert(description, name);
    m_descriptions.insert(name, description);
}

std::optional<QString> XkbLayoutDescriptions::layoutOf(const QString &description) const
{
    const auto found = m_names.constFind(description);
    if (found == m_names.constEnd())
        return std::nullopt;
    return *found;
}

std::optional<QString> XkbLayoutDescriptions::descriptionOf(const QString &layout) const
{
    const auto found = m_descriptions.constFind(layout);
    if (found == m_descriptions.constEnd())
        return std::nullopt;
    return *found;
}

const XkbLayoutDescriptions &XkbLayoutDescriptions::registry()
{
    static const XkbLayoutDescriptions descriptions;
    return descriptions;
}

} // namespace brevona
