#pragma once

#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "SystemModifiers.h"

namespace brevona {

// What the XKB options of a session do to the modifier keys, in the numbering of the modifier
// remapping. Only options that move a modifier key's function to another modifier key (or take
// it away) count; options that change characters or group switching do not.
class XkbModifierOptions
{
public:
    struct Option
    {
        const char *name;
        std::vector<ModifierRemapEntry> entries;
    };

    // The options this reader understands, each with what it remaps.
    static const std::vector<Option> &knownOptions();

    // The remapping a list of options makes. Options apply in order: a later one that remaps a
    // key replaces what an earlier one said about that key. A key left acting as itself is not
    // listed, and unknown options are ignored.
    static std::vector<ModifierRemapEntry> remappingForOptions(const QStringList &options);

    // The options of an _XKB_RULES_NAMES root-window property: five NUL-separated fields (rules,
    // model, layout, variant, options), the last a comma-separated list.
    static QStringList optionsFromRulesNames(const QByteArray &property);
};

} // namespace brevona
