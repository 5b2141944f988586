#include "XkbModifierOptions.h"

#include <algorithm>

namespace brevona {

using namespace modifier_codes;

const std::vector<XkbModifierOptions::Option> &XkbModifierOptions::knownOptions()
{
    // Read from the symbols files of xkeyboard-config: which physical key gets which modifier.
    static const std::vector<Option> options = {
        {"ctrl:nocaps", {{CapsLock, CtrlLeft}}},
        {"ctrl:swapcaps", {{CapsLock, CtrlLeft}, {CtrlLeft, CapsLock}}},
        {"ctrl:swapcaps_hyper", {{CapsLock, CtrlLeft}, {CtrlLeft, None}}},
        {"ctrl:swap_lalt_lctl", {{AltLeft, CtrlLeft}, {CtrlLeft, AltLeft}}},
        {"ctrl:swap_lwin_lctl", {{CmdLeft, CtrlLeft}, {CtrlLeft, CmdLeft}}},
        {"ctrl:swap_rwin_rctl", {{CmdRight, CtrlRight}, {CtrlRight, CmdRight}}},
        {"ctrl:swap_lalt_lctl_lwin", {{AltLeft, CtrlLeft}, {CmdLeft, AltLeft}, {CtrlLeft, CmdLeft}}},
        {"ctrl:rctrl_ralt", {{CtrlRight, AltRight}}},
        {"ctrl:ralt_rctrl", {{AltRight, CtrlRight}}},
        {"ctrl:lctrl_meta", {{CtrlLeft, CmdLeft}}},
        {"caps:none", {{CapsLock, None}}},
        {"caps:ctrl_modifier", {{CapsLock, CtrlLeft}}},
        {"caps:super", {{CapsLock, CmdLeft}}},
        {"caps:escape", {{CapsLock, None}}},
        {"caps:swapescape", {{CapsLock, None}}},
        {"caps:backspace", {{CapsLock, None}}},
        {"caps:menu", {{CapsLock, None}}},
        {"caps:numlock", {{CapsLock, None}}},
        {"altwin:swap_alt_win",
         {{AltLeft, CmdLeft}, {CmdLeft, AltLeft}, {AltRight, CmdRight}, {CmdRight, AltRight}}},
        {"altwin:swap_lalt_lwin", {{AltLeft, CmdLeft}, {CmdLeft, AltLeft}}},
        {"altwin:alt_win", {{CmdLeft, AltLeft}, {CmdRight, AltRight}}},
        {"altwin:ctrl_win", {{CmdLeft, CtrlLeft}, {CmdRight, CtrlRight}}},
        {"altwin:ctrl_rwin", {{CmdRight, CtrlRight}}},
        {"altwin:ctrl_alt_win",
         {{AltLeft, CtrlLeft},
          {AltRight, CtrlRight},
          {CmdLeft, AltLeft},
          {CmdRight, AltRight},
          {CtrlLeft, CmdLeft},
          {CtrlRight, CmdRight}}},
    };
    return options;
}

std::vector<ModifierRemapEntry> XkbModifierOptions::remappingForOptions(const QStringList &options)
{
    std::vector<ModifierRemapEntry> remapping;
    for (const QString &name : options) {
        const QString trimmed = name.trimmed();
        const auto &known = knownOptions();
        const auto option = std::find_if(known.begin(), known.end(), [&trimmed](const Option &candidate) {
            return trimmed == QLatin1String(candidate.name);
        });
        if (option == known.end())
            continue;
        for (const ModifierRemapEntry &entry : option->entries) {
            const auto same =
                std::find_if(remapping.begin(), remapping.end(),
                             [&entry](const ModifierRemapEntry &e) { return e.source == entry.source; });
            if (same != remapping.end())
                same->destination = entry.destination;
            else
                remapping.push_back(entry);
        }
    }
    std::erase_if(remapping,
                  [](const ModifierRemapEntry &entry) { return entry.source == entry.destination; });
    return remapping;
}

QStringList XkbModifierOptions::optionsFromRulesNames(const QByteArray &property)
{
    const QList<QByteArray> fields = property.split('\0');
    if (fields.size() < 5)
        return {};
    QStringList options;
    for (const QByteArray &option : fields.at(4).split(',')) {
        const QString name = QString::fromUtf8(option).trimmed();
        if (!name.isEmpty())
            options.append(name);
    }
    return options;
}

} // namespace brevona
