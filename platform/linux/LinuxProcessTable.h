#pragma once

#include "ProcessTable.h"

namespace brevona {

// Reads /proc: the process name is the "Name" of /proc/<pid>/status, the owner its real user id.
class LinuxProcessTable : public ProcessTable
{
public:
    std::vector<pid_t> processesNamed(const QString &name) const override;
    bool kill(pid_t pid) override;
};

} // namespace brevona
