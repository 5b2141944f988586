#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include <xcb/xcb.h>

Q_DECLARE_LOGGING_CATEGORY(lcX11)

namespace brevona {

// A lazily opened connection to an X server. It is opened on first use and opened again on the
// next use after the server went away; without a server every use answers nothing and the
// absence is logged once.
class X11Connection
{
public:
    // `display`: the display name; empty means $DISPLAY.
    explicit X11Connection(QString display = {});
    ~X11Connection();
    X11Connection(const X11Connection &) = delete;
    X11Connection &operator=(const X11Connection &) = delete;

    // The connection, or nullptr when no server can be reached.
    xcb_connection_t *get();
    xcb_window_t root() const { return m_root; }
    // Whether this is the connection get() returned before (false after a reconnect).
    quint64 generation() const { return m_generation; }

private:
    void disconnect();

    QString m_display;
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    quint64 m_generation = 0;
    bool m_absenceLogged = false;
};

} // namespace brevona
