#include "EvdevFrameDecoder.h"

namespace brevona {

EvdevFrameDecoder::EvdevFrameDecoder(QHash<int, quint32> usageForKeyCode)
    : m_usageForKeyCode(std::move(usageForKeyCode))
{}

bool EvdevFrameDecoder::feed(const input_event &event, EvdevFrame &frame)
{
    if (event.type == EV_SYN) {
        if (event.code == SYN_DROPPED) {
            m_dropping = true;
            m_pending.clear();
            m_haveScan = false;
            return false;
        }
        if (event.code != SYN_REPORT)
            return false;
        frame.changes = std::move(m_pending);
        frame.resyncNeeded = m_dropping;
        m_pending.clear();
        m_haveScan = false;
        m_dropping = false;
        return true;
    }
    if (m_dropping)
        return false;

    if (event.type == EV_MSC && event.code == MSC_SCAN) {
        m_scan = static_cast<quint32>(event.value);
        m_haveScan = true;
        return false;
    }
    if (event.type != EV_KEY)
        return false;

    const bool haveScan = m_haveScan;
    m_haveScan = false;
    if (event.value != 0 && event.value != 1)
        return false;
    quint32 usage = 0;
    if (haveScan) {
        usage = m_scan;
        m_usageForKeyCode.insert(event.code, usage);
    } else {
        const auto it = m_usageForKeyCode.constFind(event.code);
        if (it == m_usageForKeyCode.constEnd())
            return false;
        usage = *it;
    }
    m_pending.push_back(EvdevKeyChange{usage, event.value == 1});
    return false;
}

} // namespace brevona
