#pragma once

#include <optional>

#include <QHash>
#include <QObject>
#include <QString>

namespace brevona {

class SystemModifiers;

// The user's system-wide remapping of modifier keys (for example Caps Lock acting as Control):
// key name -> name of the key it now acts as ("None" for a key that acts as nothing). Read on
// first use, and again after the session announces a changed setting (or reload()).
class KDModifierMappingReader : public QObject
{
    Q_OBJECT
public:
    explicit KDModifierMappingReader(SystemModifiers &source, QObject *parent = nullptr);
    KDModifierMappingReader();

    const QHash<QString, QString> &getMap();
    // The name of the key `name` now acts as, or `name` itself when it is not remapped.
    QString getMappingOfModifier(const QString &name);
    void reload();

    // The key name of a code of the system's modifier numbering; nothing for codes outside it.
    static std::optional<QString> nameForCode(int code);

Q_SIGNALS:
    // The session's setting changed: the next getMap() reads it again.
    void mapChanged();

private:
    SystemModifiers &m_source;
    QHash<QString, QString> m_modifierMap;
    bool m_loaded = false;
};

} // namespace brevona
