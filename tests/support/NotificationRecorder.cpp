#include "NotificationRecorder.h"

#include "NotificationCenter.h"
#include "Wait.h"

namespace brevona::test {

NotificationRecorder::NotificationRecorder(const QStringList &names, const QStringList &labels)
    : NotificationRecorder(names, labels, NotificationCenter::defaultCenter())
{}

NotificationRecorder::NotificationRecorder(const QStringList &names, const QStringList &labels,
                                           NotificationCenter &center)
    : m_center(center)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        m_center.addObserver(
            this, names[i], [this, label = labels.value(i, names[i])](Notification &notification) {
                const QVariant &object = notification.object();
                m_entries.append(object.isValid() ? label + QLatin1Char(' ') + object.toString() : label);
            });
    }
}

NotificationRecorder::~NotificationRecorder()
{
    m_center.removeObserver(this);
}

bool NotificationRecorder::waitFor(int count, std::chrono::milliseconds timeout) const
{
    return waitUntil([&] { return m_entries.size() >= count; }, timeout);
}

} // namespace brevona::test
