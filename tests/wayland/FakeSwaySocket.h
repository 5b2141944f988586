#pragma once

#include <memory>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "StandInThread.h"

namespace brevona::test {

// A stand-in for sway's IPC socket that answers requests with set payloads and sends events on
// demand, for what a headless sway cannot produce: keyboards and key presses. It serves from a
// thread of its own, since the backends wait for its replies.
class FakeSwaySocket
{
public:
    FakeSwaySocket();
    ~FakeSwaySocket();

    QString path();
    // The reply to every request of `type` (SUBSCRIBE and RUN_COMMAND succeed unless set).
    void setReply(quint32 type, const QByteArray &payload);
    // Sends an event to every client subscribed to `name` ("input", "binding", ...).
    void sendEvent(const QString &name, quint32 type, const QByteArray &payload);
    // The payloads of the RUN_COMMAND requests so far.
    QStringList commands();

    class Server;

private:
    StandInThread<Server> m_thread;
};

} // namespace brevona::test
