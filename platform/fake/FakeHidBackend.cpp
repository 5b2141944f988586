#include "FakeHidBackend.h"

namespace brevona {

HidEntry FakeHidBackend::addInterface(const HidServiceProperties &properties,
                                      std::vector<HidElement> elements,
                                      const QHash<HidCookie, qint32> &values)
{
    return attachInterface(properties, std::move(elements), values);
}

void FakeHidBackend::setValueSilently(HidEntry entry, HidCookie cookie, qint32 value)
{
    storeValue(entry, cookie, value);
}

std::optional<std::vector<HidElement>> FakeHidBackend::copyElements(HidEntry entry, int usagePage)
{
    if (m_elementsFail)
        return std::nullopt;
    return HidBackendBase::copyElements(entry, usagePage);
}

bool FakeHidBackend::createQueue(HidEntry entry, int depth)
{
    return !m_queueFails && HidBackendBase::createQueue(entry, depth);
}

bool FakeHidBackend::armWatching()
{
    m_matchedNumbers = std::make_pair(matchedVendorId(), matchedProductId());
    return !m_startFails;
}

int FakeHidBackend::openDevice(HidEntry)
{
    ++m_openCount;
    return m_openError;
}

void FakeHidBackend::closeDevice(HidEntry)
{
    ++m_closeCount;
}

} // namespace brevona
