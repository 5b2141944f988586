#include "KCLayer.h"

#include <QUuid>
#include <QVariantMap>

#include "ConditionKeys.h"

namespace brevona {

KCLayer::KCLayer(const QString &uuid)
    : m_uuid(uuid.isEmpty() ? newIdentifier() : uuid)
{}

KCLayer::~KCLayer() = default;

QImage KCLayer::icon() const
{
    return m_icon;
}

void KCLayer::setIcon(const QImage &icon)
{
    m_icon = icon;
}

void KCLayer::setTitle(const QString &title)
{
    m_title = title;
}

void KCLayer::setEnabled(bool enabled)
{
    m_enabled = enabled;
}

QImage KCLayer::imageForButton(const QString &)
{
    return QImage();
}

void KCLayer::setUUID(const QString &uuid)
{
    m_uuid = uuid;
}

void KCLayer::setConditions(const QVariantList &conditions)
{
    m_conditions = normalizedConditions(conditions);
}

QVariantList KCLayer::normalizedConditions(const QVariantList &conditions)
{
    QVariantList result;
    bool sawCapsLockKey = false;
    bool hasCapsLockCondition = false;
    for (const QVariant &condition : conditions) {
        const QVariantMap record = condition.toMap();
        const QString type = record.value(conditionkeys::Type).toString();
        if (type == conditionkeys::CapsLockType)
            hasCapsLockCondition = true;
        if (type != conditionkeys::ModifierType) {
            result.append(condition);
            continue;
        }
        const QStringList keys = record.value(conditionkeys::Settings)
                                     .toMap()
                                     .value(conditionkeys::Keys)
                                     .toString()
                                     .split(QLatin1Char('|'));
        if (!keys.contains(conditionkeys::CapsLockKey)) {
            result.append(condition);
            continue;
        }
        sawCapsLockKey = true;
        QStringList remaining;
        for (const QString &key : keys) {
            if (key != conditionkeys::CapsLockKey && !key.isEmpty())
                remaining.append(key);
        }
        if (!remaining.isEmpty()) {
            result.append(
                QVariantMap{{conditionkeys::Type, conditionkeys::ModifierType},
                            {conditionkeys::Settings,
                             QVariantMap{{conditionkeys::Keys, remaining.join(QLatin1Char('|'))}}}});
        }
    }
    if (sawCapsLockKey && !hasCapsLockCondition)
        result.append(QVariantMap{{conditionkeys::Type, conditionkeys::CapsLockType},
                                  {conditionkeys::Settings, QVariantMap{{conditionkeys::State, true}}}});
    return result;
}

QString KCLayer::newIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace brevona
