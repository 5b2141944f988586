#pragma once

#include "ApplicationMonitor.h"

namespace brevona {

// Stands for the session's applications in tests: launch(), quit() and bringToFront() change the
// state and emit what the session would. Unavailable, it answers as without an X server. Counts
// the readings, so tests can tell polling from listening.
class FakeApplicationMonitor : public ApplicationMonitor
{
    Q_OBJECT
public:
    explicit FakeApplicationMonitor(bool notifiesForegroundChanges = true, QObject *parent = nullptr);

    std::optional<QSet<QString>> runningApplications() override;
    QString foregroundApplication() override;
    bool notifiesForegroundChanges() const override { return m_notifies; }
    void startWatching() override { m_watching = true; }

    void launch(const QString &identifier);
    void quit(const QString &identifier);
    // Also launches the application when it does not run; an empty identifier: nothing in front.
    void bringToFront(const QString &identifier);
    void setAvailable(bool available) { m_available = available; }

    bool isWatching() const { return m_watching; }
    int foregroundReads() const { return m_foregroundReads; }

private:
    QSet<QString> m_running;
    QString m_foreground;
    bool m_notifies;
    bool m_available = true;
    bool m_watching = false;
    int m_foregroundReads = 0;
};

} // namespace brevona
