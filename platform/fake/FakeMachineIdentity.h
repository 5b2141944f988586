#pragma once

#include <atomic>

#include "MachineIdentity.h"

namespace brevona {

// A machine identity whose serial number a test sets; counts how often it was asked.
class FakeMachineIdentity : public MachineIdentity
{
public:
    explicit FakeMachineIdentity(std::optional<QString> serial = std::nullopt);

    std::optional<QString> serialNumber() const override;
    void setSerialNumber(std::optional<QString> serial);
    int readCount() const { return m_readCount.load(); }

private:
    std::optional<QString> m_serial;
    mutable std::atomic<int> m_readCount{0};
};

} // namespace brevona
