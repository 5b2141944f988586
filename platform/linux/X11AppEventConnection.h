#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <xcb/xcb.h>

class QSocketNotifier;
class QTimer;

Q_DECLARE_LOGGING_CATEGORY(lcX11)

namespace brevona {

// A connection to the X server whose events are delivered on the application's event loop. It
// opens on first use and says once, in one log line, what its owner cannot do while no server can
// be reached; whether an X server is to be used at all is DisplaySession's decision. After a
// failed attempt or a lost server it is not tried again before a delay that doubles up to a few
// seconds; an owner that follows the session by its events (a connect handler) is reconnected on
// that schedule by itself, since nobody else would ask.
class X11AppEventConnection : public QObject
{
    Q_OBJECT
public:
    using EventHandler = std::function<void(const xcb_generic_event_t &)>;

    // `display` empty means $DISPLAY. `unavailable` completes the log line, for example "running
    // and foreground applications are not available".
    X11AppEventConnection(QString display, QString unavailable, QObject *parent = nullptr);
    ~X11AppEventConnection() override;

    // The connection, or nullptr when no server can be reached.
    xcb_connection_t *get();
    xcb_window_t root() const { return m_root; }
    // Counts the connections made; a new value means the owner must set up its event selection
    // and state again.
    quint64 generation() const { return m_generation; }

    // Every event goes here, also those read while a reply was awaited.
    void setEventHandler(EventHandler handler) { m_handler = std::move(handler); }
    // Called after the server went away, before anything else is asked.
    void setDisconnectHandler(std::function<void()> handler) { m_disconnected = std::move(handler); }
    // Called from the event loop once a server is reached again after a failed attempt or a lost
    // server; with a handler the connection retries by itself.
    void setConnectHandler(std::function<void()> handler) { m_connected = std::move(handler); }
    // Delivers the events read so far. Owners call it after requests they made outside the event
    // handler, because events that arrived with a reply no longer wake the event loop.
    void dispatch();

    // The atom of a name, interned once per connection; XCB_ATOM_NONE without a connection.
    xcb_atom_t atom(const char *name);
    // A property's bytes and format (8, 16 or 32); nothing when it is missing, of another type
    // than `type` (XCB_ATOM_ANY accepts all), or the server cannot be asked.
    std::optional<QByteArray> property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                       quint8 *format = nullptr);

private:
    xcb_connection_t *connectNow();
    void disconnect();
    void lost();
    void retryLater();
    void logUnavailable(const QString &reason);

    QString m_display;
    QString m_unavailable;
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    quint64 m_generation = 0;
    QSocketNotifier *m_notifier = nullptr;
    EventHandler m_handler;
    std::function<void()> m_disconnected;
    std::function<void()> m_connected;
    QHash<QByteArray, xcb_atom_t> m_atoms;
    QDeadlineTimer m_nextAttempt{0};
    int m_retryDelayMs;
    QTimer *m_retry = nullptr;
    bool m_reconnecting = false;
    bool m_unavailableLogged = false;
    bool m_dispatching = false;
};

} // namespace brevona
