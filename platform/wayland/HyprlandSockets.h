#pragma once

#include <optional>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "wayland/HyprlandPayloads.h"

class QLocalSocket;

namespace brevona {

// Hyprland's two sockets in its instance's folder ($XDG_RUNTIME_DIR/hypr/<signature>, /tmp/hypr/
// <signature> before Hyprland 0.40): the request socket answers one command per connection and
// closes; the event socket sends "EVENT>>DATA" lines for as long as it stays open.
class HyprlandSockets : public QObject
{
    Q_OBJECT
public:
    // `folder` empty: the folder of $HYPRLAND_INSTANCE_SIGNATURE.
    explicit HyprlandSockets(QString folder = {}, QObject *parent = nullptr);
    ~HyprlandSockets() override;

    static QString instanceFolder(const QString &runtimeDir, const QString &signature);

    // The reply to one command ("j/clients"); nothing when the socket cannot be reached or the
    // reply does not come in time.
    std::optional<QByteArray> request(const QByteArray &command);
    // Opens the event socket when it is not open; false (with one log line naming `purpose`) when
    // it cannot.
    bool openEvents(const QString &purpose);

Q_SIGNALS:
    void eventReceived(const HyprlandPayloads::Event &event);
    void closed();

private:
    void readEvents();

    QString m_folder;
    QLocalSocket *m_events = nullptr;
    QByteArray m_partial;
    bool m_failureLogged = false;
};

} // namespace brevona
