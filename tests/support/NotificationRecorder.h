#pragma once

#include <QString>
#include <QStringList>

namespace brevona {
class NotificationCenter;
}

namespace brevona::test {

// Writes down the in-process notifications of the given names as they are posted: "NAME", or
// "NAME object" when the notification carries an object (as text). Labels, where given, stand in
// for the names one by one ({HidKeyDown}, {"down"} writes "down A").
class NotificationRecorder
{
public:
    explicit NotificationRecorder(const QStringList &names, const QStringList &labels = {});
    ~NotificationRecorder();
    NotificationRecorder(const NotificationRecorder &) = delete;
    NotificationRecorder &operator=(const NotificationRecorder &) = delete;

    const QStringList &entries() const { return m_entries; }
    int count(const QString &entry) const { return static_cast<int>(m_entries.count(entry)); }
    void clear() { m_entries.clear(); }

private:
    NotificationCenter &m_center;
    QStringList m_entries;
};

} // namespace brevona::test
