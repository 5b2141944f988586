#include "NotificationRecorder.h"

#include "NotificationCenter.h"
#include "Wait.h"

namespace brevona::test {

namespace {

std::vector<std::pair<QString, QString>> unlabelled(const QStringList &names)
{
    std::vector<std::pair<QString, QString>> pairs;
    for (const QString &name : names)
        pairs.emplace_back(name, name);
    return pairs;
}

} // namespace

NotificationRecorder::NotificationRecorder(const QStringList &names)
    : NotificationRecorder(unlabelled(names))
{}

NotificationRecorder::NotificationRecorder(const std::vector<std::pair<QString, QString>> &labelledNames)
    : NotificationRecorder(labelledNames, NotificationCenter::defaultCenter())
{}

NotificationRecorder::NotificationRecorder(const std::vector<std::pair<QString, QString>> &labelledNames,
                                           NotificationCenter &center)
    : m_center(center)
{
    for (const auto &[name, label] : labelledNames) {
        m_center.addObserver(this, name, [this, label = label](Notification &notification) {
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
