#include "KDConditionFactory.h"

#include "ConditionKeys.h"
#include "ConditionLogging.h"
#include "KDCondition.h"
#include "KDTotalActivityCondition.h"

namespace brevona {

namespace ck = conditionkeys;

std::unique_ptr<KDCondition> KDConditionFactory::createCondition(const QVariant &record, QString *error)
{
    const QVariantMap map = record.toMap();
    const QVariant type = map.value(ck::Type);
    if (record.typeId() != QMetaType::QVariantMap || type.typeId() != QMetaType::QString) {
        if (error)
            *error = QStringLiteral("Illegal condition type");
        return nullptr;
    }
    // Kinds whose watchers this build does not carry yield no condition, like an unknown kind.
    return nullptr;
}

KDConditionFactory::Result KDConditionFactory::createConditions(const QVariantList &records)
{
    Result result;
    for (const QVariant &record : records) {
        QString error;
        auto condition = createCondition(record, &error);
        if (!error.isEmpty()) {
            result.error = error;
            break;
        }
        const QVariantMap map = record.toMap();
        if (map.value(ck::Type).toString() == ck::ModifierType) {
            const QStringList keys = map.value(ck::Settings).toMap().value(ck::Keys).toString().split(
                QLatin1Char('|'), Qt::SkipEmptyParts);
            if (keys.contains(ck::CapsLockKey)) {
                const QVariantMap capsRecord{{ck::Type, ck::CapsLockType},
                                             {ck::Settings, QVariantMap{{ck::State, true}}}};
                if (auto caps = createCondition(capsRecord, nullptr))
                    result.conditions.push_back(std::move(caps));
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
