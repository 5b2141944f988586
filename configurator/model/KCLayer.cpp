#include "KCLayer.h"

#include <QUuid>
#include <QVariantMap>

namespace brevona {

namespace {

const QString kType = QStringLiteral("Type");
const QString kSettings = QStringLiteral("Settings");
const QString kKeys = QStringLiteral("Keys");
const QString kState = QStringLiteral("State");
const QString kModifierType = QStringLiteral("brevona.condition.modifier");
const QString kCapsLockType = QStringLiteral("brevona.condition.capslock");
const QString kCapsLockKey = QStringLiteral("CapsLock");

} // namespace

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
        const QString type = record.value(kType).toString();
        if (type == kCapsLockType)
            hasCapsLockCondition = true;
        if (type != kModifierType) {
            result.append(condition);
            continue;
        }
        const QStringList keys =
            record.value(kSettings).toMap().value(kKeys).toString().split(QLatin1Char('|'));
        if (!keys.contains(kCapsLockKey)) {
            result.append(condition);
            continue;
        }
        sawCapsLockKey = true;
        QStringList remaining;
        for (const QString &key : keys) {
            if (key != kCapsLockKey && !key.isEmpty())
                remaining.append(key);
        }
        if (!remaining.isEmpty()) {
            result.append(QVariantMap{{kType, kModifierType},
                                      {kSettings, QVariantMap{{kKeys, remaining.join(QLatin1Char('|'))}}}});
        }
    }
    if (sawCapsLockKey && !hasCapsLockCondition)
        result.append(QVariantMap{{kType, kCapsLockType}, {kSettings, QVariantMap{{kState, true}}}});
    return result;
}

QString KCLayer::newIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace brevona
