#include "FakeSwaySocket.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include "wayland/I3IpcCodec.h"

namespace brevona::test {

class FakeSwaySocket::Server
{
public:
    Server()
    {
        m_server.listen(path());
        QObject::connect(&m_server, &QLocalServer::newConnection, [this] { accept(); });
    }
    ~Server() { qDeleteAll(m_clients); }

    QString path() const { return m_folder.filePath(QStringLiteral("sway-ipc.sock")); }

    QHash<quint32, QByteArray> replies;
    QStringList commands;

    void sendEvent(const QString &name, quint32 type, const QByteArray &payload)
    {
        for (Client *client : std::as_const(m_clients)) {
            if (client->subscriptions.contains(name))
                client->socket->write(I3IpcCodec::encode(type, payload));
        }
    }

private:
    struct Client
    {
        QLocalSocket *socket = nullptr;
        I3IpcCodec codec;
        QStringList subscriptions;
    };

    void accept()
    {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            auto *client = new Client{socket, {}, {}};
            m_clients.append(client);
            QObject::connect(socket, &QLocalSocket::readyRead, [this, client] { read(*client); });
        }
    }

    void read(Client &client)
    {
        client.codec.feed(client.socket->readAll());
        while (const auto message = client.codec.next()) {
            QByteArray reply = replies.value(message->type);
            if (message->type == I3IpcCodec::Subscribe) {
                for (const QJsonValue &name : QJsonDocument::fromJson(message->payload).array())
                    client.subscriptions.append(name.toString());
                if (reply.isEmpty())
                    reply = R"({"success":true})";
            } else if (message->type == I3IpcCodec::RunCommand) {
                commands.append(QString::fromUtf8(message->payload));
                if (reply.isEmpty())
                    reply = R"([{"success":true}])";
            }
            client.socket->write(I3IpcCodec::encode(message->type, reply));
        }
    }

    QTemporaryDir m_folder;
    QLocalServer m_server;
    QList<Client *> m_clients;
};

FakeSwaySocket::FakeSwaySocket() = default;
FakeSwaySocket::~FakeSwaySocket() = default;

QString FakeSwaySocket::path()
{
    return m_thread.call([](Server &server) { return server.path(); });
}

void FakeSwaySocket::setReply(quint32 type, const QByteArray &payload)
{
    m_thread.call([&](Server &server) { server.replies.insert(type, payload); });
}

void FakeSwaySocket::sendEvent(const QString &name, quint32 type, const QByteArray &payload)
{
    m_thread.call([&](Server &server) { server.sendEvent(name, type, payload); });
}

QStringList FakeSwaySocket::commands()
{
    return m_thread.call([](Server &server) { return server.commands; });
}

} // namespace brevona::test
