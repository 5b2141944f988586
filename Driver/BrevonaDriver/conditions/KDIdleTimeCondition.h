#pragma once

#include <QVariantMap>

#include "KDCondition.h"

namespace brevona {

class KDIdleTimeTrigger;

// True from the first check at or after "Time" seconds without input until the user is back.
class KDIdleTimeCondition : public KDCondition
{
public:
    explicit KDIdleTimeCondition(const QVariantMap &settings);
    ~KDIdleTimeCondition() override;

    bool isTrue() const override { return m_state; }
    int time() const { return m_time; }

    // "Time" in seconds; a value at or beyond the integer limits (or no number) counts as 0.
    static int timeOfPlist(const QVariantMap &settings);
    static KDIdleTimeTrigger &getTrigger();

private:
    int m_time = 0;
    bool m_state = false;
};

} // namespace brevona
