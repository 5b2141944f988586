#pragma once

#include "MachineIdentity.h"

namespace brevona {

// The machine identity of a Linux system: the systemd machine id, which is stable for the life of
// the installation and unique per machine.
class LinuxMachineIdentity : public MachineIdentity
{
public:
    explicit LinuxMachineIdentity(QString idFile = QStringLiteral("/etc/machine-id"));

    // The file's text without surrounding white space; nothing when it is missing, unreadable or
    // blank.
    std::optional<QString> serialNumber() const override;

private:
    QString m_idFile;
};

} // namespace brevona
