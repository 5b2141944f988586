#pragma once

#include <memory>

#include <QObject>

namespace brevona {

class KDLayerManager;
class KDServer;
class SignalWatcher;

// The driver process: start-up in its fixed order, the announcements, shutdown.
class DriverApplication : public QObject
{
    Q_OBJECT
public:
    explicit DriverApplication(QObject *parent = nullptr);
    ~DriverApplication() override;

    // Runs the start-up sequence. False when the driver cannot run (the service name is taken);
    // the caller then exits.
    bool start();
    // Announces termination, hands the keyboard back and quits the event loop.
    void terminate();

    KDLayerManager *layerManager() const { return m_layerManager.get(); }

    // Kills every older driver of this user; returns how many were killed.
    static int killPreviousApplicationInstance();

private Q_SLOTS:
    void onToggleLayerAction(const QString &identifier);

private:
    void announce(const QString &name);

    std::unique_ptr<KDLayerManager> m_layerManager;
    KDServer *m_server = nullptr;
    SignalWatcher *m_signals = nullptr;
    bool m_terminating = false;
};

} // namespace brevona
