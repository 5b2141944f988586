#pragma once

#include <memory>
#include <vector>

#include <QString>
#include <QVariant>

namespace brevona {

class KDCondition;

// Builds condition objects from the records of a "Conditions" array.
class KDConditionFactory
{
public:
    // Not a value-or-error: the conditions before a rejected record are built and kept.
    struct Built
    {
        std::vector<std::unique_ptr<KDCondition>> conditions;
        // Set when a record was rejected; the conditions before it were built.
        QString error;
    };

    // One record -> a condition, or nothing for a kind this driver does not know.
    // Sets `error` when the record has no "Type".
    static std::unique_ptr<KDCondition> createCondition(const QVariant &record, QString *error);

    // A whole "Conditions" array, with the Caps Lock split of modifier records, followed by the
    // total-activity condition every item carries. Stops at the first rejected record.
    static Built createConditions(const QVariantList &records);
};

} // namespace brevona
