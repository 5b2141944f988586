#pragma once

#include <functional>

#include <QObject>
#include <QVariantMap>

namespace brevona {

// Root object of the command endpoint. Every command but "Terminate" is re-posted in the process
// as "CONFIGURATOR_SAID_<name>" and, when no observer abandoned it, followed by
// "SOME_CONDITION_HAVE_TRIGGERED" — both delivered before notify() returns.
class KDServer : public QObject
{
    Q_OBJECT
public:
    explicit KDServer(QObject *parent = nullptr);

    // Registers the endpoint on the session bus; false when the name is taken.
    bool registerService();
    void setTerminateHandler(std::function<void()> handler) { m_terminate = std::move(handler); }

    // The command as it arrives, already converted to property-list values. An empty info is
    // "no info".
    void handleCommand(const QString &name, const QVariantMap &info, bool hasInfo);

public Q_SLOTS:
    void notify(const QString &name, const QVariantMap &info);

private:
    std::function<void()> m_terminate;
};

} // namespace brevona
