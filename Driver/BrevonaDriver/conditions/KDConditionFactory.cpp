#include "KDConditionFactory.h"

#include "CommandInfo.h"
#include "ConditionKeys.h"
#include "ConditionLogging.h"
#include "KDApplicationConditionsFactory.h"
#include "KDCapsLockCondition.h"
#include "KDCondition.h"
#include "KDIdleTimeCondition.h"
#include "KDLanguageCondition.h"
#include "KDModifierCondition.h"
#include "KDTotalActivityCondition.h"

namespace brevona {

namespace ck = conditionkeys;

std::unique_ptr<KDCondition> KDConditionFactory::createCondition(const QVariant &record, QString *error)
{
    const QVariantMap map = record.toMap();
    const QVariant type = map.value(ck::Type);
    if (record.typeId() != QMetaType::QVariantMap || !type.isValid()) {
        if (error)
            *error = QStringLiteral("Illegal condition type");
        return nullptr;
    }
    // A type that is no string names no kind this driver knows: this record gives no condition,
    // and the records after it still count.
    if (type.typeId() != QMetaType::QString) {
        qCWarning(lcConditions).noquote()
            << QStringLiteral("Condition type is %1, not a string: no condition")
                   .arg(CommandInfo::typeName(type));
        return nullptr;
    }
    const QString kind = type.toString();
    const QVariantMap settings = map.value(ck::Settings).toMap();
    if (kind == ck::ApplicationType)
        return KDApplicationConditionsFactory::createFactoryByPlist(settings);
    if (kind == ck::LanguageType)
        return std::make_unique<KDLanguageCondition>(settings);
    if (kind == ck::ModifierType)
        return KDModifierCondition::createWithPlist(settings, error);
    if (kind == ck::IdleType)
        return std::make_unique<KDIdleTimeCondition>(settings);
    if (kind == ck::CapsLockType)
        return std::make_unique<KDCapsLockCondition>(settings);
    // A kind this driver does not know is skipped.
    return nullptr;
}

KDConditionFactory::Built KDConditionFactory::createConditions(const QVariantList &records)
{
    Built result;
    for (const QVariant &record : records) {
        QString error;
        auto condition = createCondition(record, &error);
        if (!error.isEmpty()) {
            result.error = error;
            break;
        }
        const QVariantMap map = record.toMap();
        if (map.value(ck::Type).toString() == ck::ModifierType) {
            QStringList keys = map.value(ck::Settings)
                                   .toMap()
                                   .value(ck::Keys)
                                   .toString()
                                   .split(QLatin1Char('|'), Qt::SkipEmptyParts);
            for (QString &key : keys)
                key = key.trimmed();
            if (keys.contains(ck::CapsLockKey)) {
                result.conditions.push_back(std::make_unique<KDCapsLockCondition>());
                if (keys.size() == 1)
                    continue;
            }
        }
        if (condition)
            result.conditions.push_back(std::move(condition));
    }
    result.conditions.push_back(std::make_unique<KDTotalActivityCondition>());
    return result;
}

} // namespace brevona
