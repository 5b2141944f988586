#pragma once

#include <optional>

#include <QString>

namespace brevona {

// Where the machine's stable identity comes from (the serial number on the original platform).
class MachineIdentity
{
public:
    virtual ~MachineIdentity() = default;
    // The identity text, or nothing when the machine has none readable.
    virtual std::optional<QString> serialNumber() const = 0;

    // The process-wide instance: the Linux one unless a test installed another. A test replaces it
    // before the first use of the cipher; the caller keeps ownership of what it installs, and
    // passing nullptr returns to the Linux instance.
    static MachineIdentity &instance();
    static void setInstance(MachineIdentity *identity);
};

} // namespace brevona
