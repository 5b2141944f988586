#pragma once

#include <QString>
#include <QVariantMap>

#include "KDCondition.h"

namespace brevona {

class KDApplicationRunningTrigger;

// True while an application runs ("isRunning") or while it does not ("isNotRunning").
class KDApplicationRunningCondition : public KDCondition
{
public:
    // `settings`: "Application" (identifier) and "Predicate".
    explicit KDApplicationRunningCondition(const QVariantMap &settings);
    ~KDApplicationRunningCondition() override;

    bool isTrue() const override { return m_state != m_isInverted; }

    const QString &bundleId() const { return m_bundleId; }
    bool isInverted() const { return m_isInverted; }

    static KDApplicationRunningTrigger &getTrigger();

private:
    QString m_bundleId;
    bool m_isInverted = false;
    bool m_state = false;
};

} // namespace brevona
