#include "X11IdleTimeSource.h"

#include <xcb/screensaver.h>

#include "linux/XcbReply.h"

namespace brevona {

X11IdleTimeSource::X11IdleTimeSource(QString display)
    : m_x11(std::move(display), QStringLiteral("idle time reads as 0 (the user always counts as active)"))
{}

std::optional<quint64> X11IdleTimeSource::idleNanoseconds()
{
    xcb_connection_t *connection = m_x11.get();
    if (!connection)
        return std::nullopt;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_screensaver_id);
    if (!extension || !extension->present) {
        if (!m_missingLogged)
            qCWarning(lcX11).noquote()
                << "The X server has no MIT-SCREEN-SAVER extension; idle time reads as 0";
        m_missingLogged = true;
        return std::nullopt;
    }
    const XcbReply<xcb_screensaver_query_info_reply_t> reply(xcb_screensaver_query_info_reply(
        connection, xcb_screensaver_query_info(connection, m_x11.root()), nullptr));
    if (!reply)
        return std::nullopt;
    const quint64 milliseconds = reply->ms_since_user_input;
    return milliseconds * 1'000'000ULL;
}

} // namespace brevona
