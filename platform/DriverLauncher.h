#pragma once

#include <QString>

namespace brevona {

// Starting and stopping the driver program the way the desktop session does it: through its
// systemd user unit when one is installed, else by starting the program itself. Nothing here is
// handed to a shell.
class DriverLauncher
{
public:
    virtual ~DriverLauncher() = default;
    // Whether the user's service manager knows `unit`.
    virtual bool hasUserUnit(const QString &unit) = 0;
    virtual bool startUserUnit(const QString &unit) = 0;
    virtual bool stopUserUnit(const QString &unit) = 0;
    // Starts `program` detached from this process, so that it outlives it.
    virtual bool startProgram(const QString &program) = 0;
};

} // namespace brevona
