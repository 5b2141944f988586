#include "NotificationRecorder.h"

#include "NotificationCenter.h"

namespace brevona::test {

NotificationRecorder::NotificationRecorder(const QStringList &names, const QStringList &labels)
    : m_center(NotificationCenter::defaultCenter())
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

} // namespace brevona::test
