#pragma once

#include <QVariant>
#include <QVariantMap>

#include "KDCondition.h"

namespace brevona {

class KDLanguageConditionTrigger;

// True while the keyboard layout in use has the record's "LanguageID".
class KDLanguageCondition : public KDCondition
{
public:
    explicit KDLanguageCondition(const QVariantMap &settings);
    ~KDLanguageCondition() override;

    bool isTrue() const override { return m_state; }
    const QVariant &sourceID() const { return m_sourceID; }

    static KDLanguageConditionTrigger &getTrigger();
    static QString getId() { return QStringLiteral("language"); }

private:
    QVariant m_sourceID;
    bool m_state = false;
};

} // namespace brevona
