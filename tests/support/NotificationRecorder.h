#pragma once

#include <chrono>

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
    NotificationRecorder(const QStringList &names, const QStringList &labels, NotificationCenter &center);
    ~NotificationRecorder();
    NotificationRecorder(const NotificationRecorder &) = delete;
    NotificationRecorder &operator=(const NotificationRecorder &) = delete;

    const QStringList &entries() const { return m_entries; }
    int count(const QString &entry) const { return static_cast<int>(m_entries.count(entry)); }
    void clear() { m_entries.clear(); }
    // Runs the event loop until `count` entries have been written since the last clear().
    [[nodiscard]] bool waitFor(int count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

private:
    NotificationCenter &m_center;
    QStringList m_entries;
};

} // namespace brevona::test
