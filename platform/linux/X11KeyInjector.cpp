#include "X11KeyInjector.h"

#include <xcb/xtest.h>

#include "linux/XcbReply.h"

namespace brevona {

X11KeyInjector::X11KeyInjector(QString display)
    : m_x(std::move(display), QStringLiteral("key presses do not reach the session's windows"))
{}

bool X11KeyInjector::isAvailable()
{
    xcb_connection_t *connection = m_x.get();
    if (!connection)
        return false;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_test_id);
    if (extension && extension->present)
        return true;
    if (!m_missingLogged)
        qCWarning(lcX11).noquote()
            << "The X server has no XTEST extension; key presses do not reach the session's windows";
    m_missingLogged = true;
    return false;
}

bool X11KeyInjector::sendKey(int keyCode, bool down)
{
    if (!isAvailable())
        return false;
    xcb_connection_t *connection = m_x.get();
    const xcb_setup_t *setup = xcb_get_setup(connection);
    if (keyCode < setup->min_keycode || keyCode > setup->max_keycode)
        return false;
    const xcb_void_cookie_t cookie =
        xcb_test_fake_input_checked(connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                                    static_cast<quint8>(keyCode), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    // The check is a round trip: the press has reached the server when it returns.
    const XcbReply<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
    return !error;
}

} // namespace brevona
