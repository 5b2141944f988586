#pragma once

#include <optional>

#include "HidBackendBase.h"

namespace brevona {

// An in-memory HID backend whose interfaces, values and failures a test controls.
class FakeHidBackend : public HidBackendBase
{
public:
    // Attaches an interface; reported at once when matching has started.
    HidEntry addInterface(const HidServiceProperties &properties, std::vector<HidElement> elements,
                          const QHash<HidCookie, qint32> &values = {});
    // Unplugs it: removal is reported.
    void removeInterface(HidEntry entry) { detachInterface(entry); }
    // One input report with these changes.
    void report(HidEntry entry, const std::vector<HidQueuedValue> &changes) { reportValues(entry, changes); }
    // Changes a value without queueing it, as a device whose queue missed the change.
    void setValueSilently(HidEntry entry, HidCookie cookie, qint32 value);

    void setStartFails(bool fails) { m_startFails = fails; }
    void setOpenError(int error) { m_openError = error; }
    void setQueueCreationFails(bool fails) { m_queueFails = fails; }
    void setElementCopyFails(bool fails) { m_elementsFail = fails; }

    int openCount() const { return m_openCount; }
    int closeCount() const { return m_closeCount; }
    std::optional<std::pair<int, int>> matchedNumbers() const { return m_matchedNumbers; }

    std::optional<std::vector<HidElement>> copyElements(HidEntry entry, int usagePage) override;
    bool createQueue(HidEntry entry, int depth) override;

protected:
    bool armWatching() override;
    int openDevice(HidEntry entry) override;
    void closeDevice(HidEntry entry) override;

private:
    bool m_startFails = false;
    int m_openError = 0;
    bool m_queueFails = false;
    bool m_elementsFail = false;
    int m_openCount = 0;
    int m_closeCount = 0;
    std::optional<std::pair<int, int>> m_matchedNumbers;
};

} // namespace brevona
