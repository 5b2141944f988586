#pragma once

#include <sys/types.h>

#include <vector>

#include <QString>

namespace brevona {

// The user's running processes, by name, and killing one.
class ProcessTable
{
public:
    virtual ~ProcessTable() = default;
    // Processes of the current user whose name is exactly `name`, the calling process excluded.
    virtual std::vector<pid_t> processesNamed(const QString &name) const = 0;
    // Ends the process at once and waits (briefly) until it is gone. False when it could not be killed.
    virtual bool kill(pid_t pid) = 0;

    static ProcessTable &instance();
};

} // namespace brevona
