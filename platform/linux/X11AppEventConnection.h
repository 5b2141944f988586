#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

#include <xcb/xcb.h>

class QSocketNotifier;

namespace brevona {

// A connection to the X server whose events are delivered on the application's event loop, for
// services that follow the session by its events rather than by polling. It opens on first use
// (again after the server went away, at most every few seconds) and says once, in one log line,
// what its owner cannot do while no server can be reached. A Wayland session counts as having no
// server unless the display was named explicitly.
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
    void disconnect();
    void lost();
    void logUnavailable(const QString &reason);

    QString m_display;
    QString m_unavailable;
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    quint64 m_generation = 0;
    QSocketNotifier *m_notifier = nullptr;
    EventHandler m_handler;
    std::function<void()> m_disconnected;
    QHash<QByteArray, xcb_atom_t> m_atoms;
    QElapsedTimer m_lastAttempt;
    bool m_unavailableLogged = false;
    bool m_dispatching = false;
};

} // namespace brevona
