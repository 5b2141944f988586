#pragma once

#include <QVariantMap>

#include "HidUsageTable.h"

namespace brevona::test {

// A small usage table in the resource's shape: a few keyboard keys, the
// modifiers, an application key under its keyboard-page usage, and one
// multimedia key.
inline HidUsageTable sampleUsageTable()
{
    QVariantMap standard{{"4", "A"},           {"5", "B"},
                         {"57", "CapsLock"},   {"126", "App0"},
                         {"224", "CtrlLeft"},  {"225", "ShiftLeft"},
                         {"226", "AltLeft"},   {"227", "CmdLeft"},
                         {"228", "CtrlRight"}, {"229", "ShiftRight"},
                         {"230", "AltRight"},  {"231", "CmdRight"}};
    QVariantMap multimedia{{"388", "Word*"}, {"394", "Mail*"}};
    return HidUsageTable::fromDictionary(
        QVariantMap{{QStringLiteral("Standard"), standard}, {QStringLiteral("Multimedia"), multimedia}});
}

} // namespace brevona::test
