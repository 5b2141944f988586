#pragma once

#include <functional>

#include <QStringList>

#include "DriverLauncher.h"

namespace brevona {

// Records what was asked; `onStart` and `onStop` let a test stand in a driver of its own.
class FakeDriverLauncher : public DriverLauncher
{
public:
    bool hasUserUnit(const QString &unit) override { return units.contains(unit); }
    bool startUserUnit(const QString &unit) override
    {
        calls << QStringLiteral("start unit ") + unit;
        return run(onStart);
    }
    bool stopUserUnit(const QString &unit) override
    {
        calls << QStringLiteral("stop unit ") + unit;
        return run(onStop);
    }
    bool startProgram(const QString &program) override
    {
        calls << QStringLiteral("start program ") + program;
        return run(onStart);
    }

    QStringList units;
    QStringList calls;
    std::function<bool()> onStart;
    std::function<bool()> onStop;

private:
    static bool run(const std::function<bool()> &hook) { return hook ? hook() : true; }
};

} // namespace brevona
