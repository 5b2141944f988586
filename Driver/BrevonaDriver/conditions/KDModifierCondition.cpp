#include "KDModifierCondition.h"

#include "ConditionKeys.h"
#include "ConditionLogging.h"
#include "ConditionNotifications.h"
#include "KDModifierConditionTrigger.h"
#include "NotificationCenter.h"

namespace brevona {

namespace ck = conditionkeys;

std::unique_ptr<KDModifierCondition> KDModifierCondition::createWithPlist(const QVariantMap &settings,
                                                                          QString *error)
{
    const QVariant keys = settings.value(ck::Keys);
    if (keys.typeId() != QMetaType::QString) {
        const QString message =
            QStringLiteral("broken modifiers condition plist: ") + describePlist(settings);
        if (error)
            *error = message;
        return nullptr;
    }
    return std::unique_ptr<KDModifierCondition>(new KDModifierCondition(maskOfKeys(keys.toString())));
}

KDModifierCondition::KDModifierCondition(int neededModifiersState)
    : m_neededModifiersState(neededModifiersState)
{
    NotificationCenter::defaultCenter().addObserver(
        this, notifications::ModifiersChanged,
        [this](Notification &n) { m_state = n.object().toInt() == m_neededModifiersState; });
    getTrigger().start();
}

KDModifierCondition::~KDModifierCondition()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

int KDModifierCondition::maskOfKeys(const QString &keys)
{
    int mask = 0;
    if (keys.contains(QLatin1String("Shift")))
        mask |= ck::ShiftMask;
    if (keys.contains(QLatin1String("Command")))
        mask |= ck::CommandMask;
    if (keys.contains(QLatin1String("Option")))
        mask |= ck::OptionMask;
    if (keys.contains(QLatin1String("Control")))
        mask |= ck::ControlMask;
    return mask;
}

KDModifierConditionTrigger &KDModifierCondition::getTrigger()
{
    return KDModifierConditionTrigger::sharedTrigger();
}

} // namespace brevona
