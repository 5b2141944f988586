#include "KDModifierMappingReader.h"

#include "SystemModifiers.h"

namespace brevona {

KDModifierMappingReader::KDModifierMappingReader(SystemModifiers &source, QObject *parent)
    : QObject(parent)
    , m_source(source)
{
    connect(&source, &SystemModifiers::modifierKeysChanged, this, [this] {
        m_loaded = false;
        Q_EMIT mapChanged();
    });
}

KDModifierMappingReader::KDModifierMappingReader()
    : KDModifierMappingReader(SystemModifiers::instance())
{}

std::optional<QString> KDModifierMappingReader::nameForCode(int code)
{
    switch (code) {
    case modifier_codes::None:
        return QStringLiteral("None");
    case modifier_codes::CapsLock:
        return QStringLiteral("CapsLock");
    case modifier_codes::ShiftLeft:
        return QStringLiteral("ShiftLeft");
    case modifier_codes::CtrlLeft:
        return QStringLiteral("CtrlLeft");
    case modifier_codes::AltLeft:
        return QStringLiteral("AltLeft");
    case modifier_codes::CmdLeft:
        return QStringLiteral("CmdLeft");
    case modifier_codes::ShiftRight:
        return QStringLiteral("ShiftRight");
    case modifier_codes::CtrlRight:
        return QStringLiteral("CtrlRight");
    case modifier_codes::AltRight:
        return QStringLiteral("AltRight");
    case modifier_codes::CmdRight:
        return QStringLiteral("CmdRight");
    default:
        return std::nullopt;
    }
}

void KDModifierMappingReader::reload()
{
    m_modifierMap.clear();
    m_loaded = true;
    // Without a readable session nothing is remapped: every key acts as itself.
    const auto entries = m_source.modifierRemapping();
    if (!entries)
        return;
    for (const ModifierRemapEntry &entry : *entries) {
        const auto source = nameForCode(entry.source);
        const auto destination = nameForCode(entry.destination);
        if (source && destination)
            m_modifierMap.insert(*source, *destination);
    }
}

const QHash<QString, QString> &KDModifierMappingReader::getMap()
{
    if (!m_loaded)
        reload();
    return m_modifierMap;
}

QString KDModifierMappingReader::getMappingOfModifier(const QString &name)
{
    return getMap().value(name, name);
}

} // namespace brevona
