#pragma once

#include "DriverLauncher.h"

namespace brevona {

// The driver through `systemctl --user`, or as a detached child.
class SystemdDriverLauncher : public DriverLauncher
{
public:
    bool hasUserUnit(const QString &unit) override;
    bool startUserUnit(const QString &unit) override;
    bool stopUserUnit(const QString &unit) override;
    bool startProgram(const QString &program) override;
};

} // namespace brevona
