#pragma once

#include <memory>

#include <QVariantMap>

namespace brevona {

class KDCondition;

// Application records carry one "Type" for two condition classes; "Predicate" picks the class.
class KDApplicationConditionsFactory
{
public:
    // "isRunning"/"isNotRunning": a running condition; "isActive"/"isNotActive": a foreground
    // condition; anything else is logged and gives nothing.
    static std::unique_ptr<KDCondition> createFactoryByPlist(const QVariantMap &settings);
};

} // namespace brevona
