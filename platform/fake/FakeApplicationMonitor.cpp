#include "FakeApplicationMonitor.h"

namespace brevona {

FakeApplicationMonitor::FakeApplicationMonitor(bool notifiesForegroundChanges, QObject *parent)
    : ApplicationMonitor(parent)
    , m_notifies(notifiesForegroundChanges)
{}

std::optional<QSet<QString>> FakeApplicationMonitor::runningApplications()
{
    if (!m_available)
        return std::nullopt;
    return m_running;
}

QString FakeApplicationMonitor::foregroundApplication()
{
    ++m_foregroundReads;
    return m_available ? m_foreground : QString();
}

void FakeApplicationMonitor::launch(const QString &identifier)
{
    if (m_running.contains(identifier))
        return;
    m_running.insert(identifier);
    Q_EMIT applicationLaunched(identifier);
}

void FakeApplicationMonitor::quit(const QString &identifier)
{
    if (!m_running.remove(identifier))
        return;
    Q_EMIT applicationTerminated(identifier);
    if (m_foreground == identifier)
        bringToFront(QString());
}

void FakeApplicationMonitor::bringToFront(const QString &identifier)
{
    if (!identifier.isEmpty())
        launch(identifier);
    if (m_foreground == identifier)
        return;
    m_foreground = identifier;
    if (m_notifies)
        Q_EMIT foregroundApplicationChanged(identifier);
}

} // namespace brevona
