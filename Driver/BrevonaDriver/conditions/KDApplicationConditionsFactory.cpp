#include "KDApplicationConditionsFactory.h"

#include "ConditionKeys.h"
#include "ConditionLogging.h"
#include "KDApplicationRunningCondition.h"
#include "KDForegroundApplicationCondition.h"

namespace brevona {

namespace ck = conditionkeys;

std::unique_ptr<KDCondition> KDApplicationConditionsFactory::createFactoryByPlist(const QVariantMap &settings)
{
    const QVariant predicate = settings.value(ck::Predicate);
    if (predicate.typeId() == QMetaType::QString) {
        const QString name = predicate.toString();
        if (name == ck::IsRunning || name == ck::IsNotRunning)
            return std::make_unique<KDApplicationRunningCondition>(settings);
        if (name == ck::IsActive || name == ck::IsNotActive)
            return std::make_unique<KDForegroundApplicationCondition>(settings);
    }
    qCWarning(lcConditions).noquote() << "Can't create app condition by plist:" << describePlist(settings);
    return nullptr;
}

} // namespace brevona
