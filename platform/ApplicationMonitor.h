#pragma once

#include <optional>

#include <QObject>
#include <QSet>
#include <QString>

namespace brevona {

// The applications of the user's session, named by their identifiers (desktop entry ids): which
// run, which is in front, and when one launches, quits or comes to the front. Main thread only.
class ApplicationMonitor : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~ApplicationMonitor() override;

    // The running applications; nothing when the session cannot tell.
    virtual std::optional<QSet<QString>> runningApplications() = 0;
    // The application in front; empty when none is or when the session cannot tell.
    virtual QString foregroundApplication() = 0;
    // Whether foregroundApplicationChanged follows every change by itself, so that nobody needs
    // to poll foregroundApplication().
    virtual bool notifiesForegroundChanges() const = 0;
    // Opens the session's event sources; the signals are emitted from then on. Idempotent.
    virtual void startWatching() = 0;

    // The process-wide instance: the session's (X11, or the Wayland compositor's backend that
    // WaylandBackends chose) unless a test installed another (the caller keeps ownership; nullptr
    // returns to the session's). Main thread only.
    static ApplicationMonitor &instance();
    static void setInstance(ApplicationMonitor *monitor);

Q_SIGNALS:
    void applicationLaunched(const QString &identifier);
    void applicationTerminated(const QString &identifier);
    // `identifier` is empty when no application is in front any more.
    void foregroundApplicationChanged(const QString &identifier);
};

} // namespace brevona
