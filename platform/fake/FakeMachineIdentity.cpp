#include "FakeMachineIdentity.h"

#include <utility>

namespace brevona {

FakeMachineIdentity::FakeMachineIdentity(std::optional<QString> serial)
    : m_serial(std::move(serial))
{}

std::optional<QString> FakeMachineIdentity::serialNumber() const
{
    ++m_readCount;
    return m_serial;
}

void FakeMachineIdentity::setSerialNumber(std::optional<QString> serial)
{
    m_serial = std::move(serial);
}

} // namespace brevona
