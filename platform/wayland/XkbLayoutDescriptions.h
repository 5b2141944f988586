#pragma once

#include <optional>

#include <QHash>
#include <QString>

namespace brevona {

// The English descriptions that keymaps give their layouts ("English (US)", "German (no dead
// keys)") and the XKB names the language table knows them by ("us", "de(nodeadkeys)"). Compositors
// that report only a keymap's layout names are mapped back through the XKB registry's list; where
// two layouts share a description the one without a variant wins, then the first listed.
class XkbLayoutDescriptions
{
public:
    // The registry's descriptions ("evdev" rules).
    XkbLayoutDescriptions();
    // A given table, name -> description, in the order to prefer.
    explicit XkbLayoutDescriptions(const QList<std::pair<QString, QString>> &table);

    std::optional<QString> layoutOf(const QString &description) const;
    std::optional<QString> descriptionOf(const QString &layout) const;
    bool isEmpty() const { return m_names.isEmpty(); }

    // The process's one copy of the registry's descriptions, read on first use. Main thread only.
    static const XkbLayoutDescriptions &registry();

private:
    void add(const QString &name, const QString &description);

    QHash<QString, QString> m_names;        // description -> name
    QHash<QString, QString> m_descriptions; // name -> description
};

} // namespace brevona
