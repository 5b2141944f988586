#include "KDLanguageCondition.h"

#include <limits>

#include "ConditionKeys.h"
#include "ConditionNotifications.h"
#include "KDLanguageConditionTrigger.h"
#include "NotificationCenter.h"
#include "PlistNumber.h"

namespace brevona {

namespace {

bool isInteger(const QVariant &value)
{
    return isPlistNumber(value) && value.typeId() != QMetaType::Double && value.typeId() != QMetaType::Float;
}

// Whether an integer fits the signed 64-bit range (unsigned values above it do not).
bool fitsSigned(const QVariant &value)
{
    const bool isUnsigned = value.typeId() == QMetaType::ULongLong || value.typeId() == QMetaType::ULong;
    return !isUnsigned || value.toULongLong() <= quint64(std::numeric_limits<qint64>::max());
}

// A number only ever equals a number: a "LanguageID" of another kind matches no layout.
bool sameNumber(const QVariant &a, const QVariant &b)
{
    if (!isPlistNumber(a) || !isPlistNumber(b))
        return false;
    if (isInteger(a) && isInteger(b)) {
        if (fitsSigned(a) != fitsSigned(b))
            return false;
        return fitsSigned(a) ? a.toLongLong() == b.toLongLong() : a.toULongLong() == b.toULongLong();
    }
    return a.toDouble() == b.toDouble();
}

} // namespace

KDLanguageCondition::KDLanguageCondition(const QVariantMap &settings)
    : m_sourceID(settings.value(conditionkeys::LanguageID))
{
    NotificationCenter::defaultCenter().addObserver(
        this, notifications::CurrentLanguageHaveChanged,
        [this](Notification &n) { m_state = sameNumber(n.object(), m_sourceID); });
    // Tells this condition (and every other) the layout in use at once.
    getTrigger().start();
}

KDLanguageCondition::~KDLanguageCondition()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

KDLanguageConditionTrigger &KDLanguageCondition::getTrigger()
{
    return KDLanguageConditionTrigger::sharedTrigger();
}

} // namespace brevona
