#pragma once

#include <memory>

#include <QString>
#include <QVariantMap>

#include "KDCondition.h"

namespace brevona {

class KDModifierConditionTrigger;

// True while exactly the record's modifier keys are held (none held for an empty set).
class KDModifierCondition : public KDCondition
{
public:
    // Nothing, with `error` set, when "Keys" is missing.
    static std::unique_ptr<KDModifierCondition> createWithPlist(const QVariantMap &settings, QString *error);
    ~KDModifierCondition() override;

    bool isTrue() const override { return m_state; }
    int neededModifierState() const override { return m_neededModifiersState; }
    bool isModifierCondition() const override { return true; }

    // The mask of the names "Shift", "Command", "Option" and "Control" found anywhere in `keys`.
    static int maskOfKeys(const QString &keys);
    static KDModifierConditionTrigger &getTrigger();
    static QString getId() { return QStringLiteral("modifier"); }

private:
    explicit KDModifierCondition(int neededModifiersState);

    int m_neededModifiersState = 0;
    bool m_state = false;
};

} // namespace brevona
