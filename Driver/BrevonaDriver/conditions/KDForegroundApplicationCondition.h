#pragma once

#include <QString>
#include <QVariantMap>

#include "KDCondition.h"

namespace brevona {

class KDForegroundApplicationTrigger;

// True while an application is in front ("isActive") or while it is not ("isNotActive").
class KDForegroundApplicationCondition : public KDCondition
{
public:
    // `settings`: "Application" (identifier) and "Predicate".
    explicit KDForegroundApplicationCondition(const QVariantMap &settings);
    ~KDForegroundApplicationCondition() override;

    bool isTrue() const override { return m_state != m_isInverted; }

    const QString &applicationBundleId() const { return m_applicationBundleId; }
    bool isInverted() const { return m_isInverted; }

    static KDForegroundApplicationTrigger &getTrigger();
    static QString getId() { return QStringLiteral("foreapp"); }

private:
    bool matches(const QString &bundleId) const;

    QString m_applicationBundleId;
    bool m_isInverted = false;
    bool m_state = false;
};

} // namespace brevona
