#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "wayland/I3IpcCodec.h"

class QLocalSocket;

namespace brevona {

// One connection to sway's IPC socket. Requests are answered in order, so a request waits for its
// reply (briefly: the compositor answers at once); events read meanwhile are delivered from the
// event loop afterwards, in the order they came, never from inside a request.
class SwayIpcClient : public QObject
{
    Q_OBJECT
public:
    // `socketPath` empty: $SWAYSOCK.
    explicit SwayIpcClient(QString socketPath = {}, QObject *parent = nullptr);
    ~SwayIpcClient() override;

    // Connects when not connected; false (with one log line naming `purpose`) when it cannot.
    bool open(const QString &purpose);
    bool isOpen() const;
    // The reply's payload; nothing when the connection is or goes down, or no reply comes in time.
    std::optional<QByteArray> request(quint32 type, const QByteArray &payload = {});
    // Subscribes to events by sway's names ("window", "input", "binding", ...).
    bool subscribe(const QStringList &events);

Q_SIGNALS:
    void eventReceived(quint32 type, const QByteArray &payload);
    // The compositor went away; everything it said is void.
    void closed();

private:
    void readAvailable();
    void deliverEvents();
    void lost();

    QString m_socketPath;
    QLocalSocket *m_socket = nullptr;
    I3IpcCodec m_codec;
    QList<I3IpcCodec::Message> m_events;
    std::optional<QByteArray> m_reply;
    bool m_waiting = false;
    bool m_deliveryQueued = false;
    bool m_failureLogged = false;
};

} // namespace brevona
