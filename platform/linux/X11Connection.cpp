#include "X11Connection.h"

Q_LOGGING_CATEGORY(lcX11, "brevona.platform.x11")

namespace brevona {

X11Connection::X11Connection(QString display)
    : m_display(std::move(display))
{}

X11Connection::~X11Connection()
{
    disconnect();
}

void X11Connection::disconnect()
{
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
    m_root = 0;
}

xcb_connection_t *X11Connection::get()
{
    if (m_connection && xcb_connection_has_error(m_connection)) {
        qCWarning(lcX11).noquote() << "Lost the connection to the X server";
        disconnect();
    }
    if (m_connection)
        return m_connection;

    const QByteArray name = m_display.toLocal8Bit();
    if (name.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY")) {
        if (!m_absenceLogged)
            qCInfo(lcX11).noquote()
                << "No X display; idle time, Caps Lock and modifier remapping are not available";
        m_absenceLogged = true;
        return nullptr;
    }
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        if (!m_absenceLogged)
            qCWarning(lcX11).noquote() << "Cannot connect to the X display"
                                       << (name.isEmpty() ? qEnvironmentVariable("DISPLAY") : m_display);
        m_absenceLogged = true;
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem <= 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    m_connection = connection;
    m_root = screens.data->root;
    m_absenceLogged = false;
    ++m_generation;
    return m_connection;
}

} // namespace brevona
