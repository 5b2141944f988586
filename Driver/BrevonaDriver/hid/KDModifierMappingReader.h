#pragma once

#include <optional>

#include <QHash>
#include <QString>

namespace brevona {

class SystemModifiers;

// The user's system-wide remapping of modifier keys (for example Caps Lock acting as Control):
// key name -> name of the key it now acts as ("None" for a key that acts as nothing). Read once,
// on first use; a later change of the setting is seen after reload().
class KDModifierMappingReader
{
public:
    explicit KDModifierMappingReader(SystemModifiers &source);
    KDModifierMappingReader();

    const QHash<QString, QString> &getMap();
    // The name of the key `name` now acts as, or `name` itself when it is not remapped.
    QString getMappingOfModifier(const QString &name);
    void reload();

    // The key name of a code of the system's modifier numbering; nothing for codes outside it.
    static std::optional<QString> nameForCode(int code);

private:
    SystemModifiers &m_source;
    QHash<QString, QString> m_modifierMap;
    bool m_loaded = false;
};

} // namespace brevona
