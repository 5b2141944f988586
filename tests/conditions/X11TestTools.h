#pragma once

#include <cstdlib>

#include <QString>
#include <QStringList>

#include <xcb/xcb.h>

// xcb's XKB header names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include "XvfbServer.h"

namespace brevona::test {

// Locks an XKB group on a display, as a desktop's layout switcher does.
inline bool lockGroup(const QString &display, int group)
{
    xcb_connection_t *connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    xcb_xkb_use_extension_reply_t *use =
        xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr);
    const bool supported = use && use->supported;
    std::free(use);
    bool done = false;
    if (supported) {
        xcb_generic_error_t *error = xcb_request_check(
            connection, xcb_xkb_latch_lock_state_checked(connection, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1,
                                                         static_cast<uint8_t>(group), 0, 0, 0));
        done = error == nullptr;
        std::free(error);
    }
    xcb_disconnect(connection);
    return done;
}

// The windows whose WM_CLASS instance is `name`, as xdotool finds them.
inline QStringList windowsNamed(const XvfbServer &server, const QString &name)
{
    return server
        .output(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--classname"),
                                            QLatin1Char('^') + name + QLatin1Char('$')})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace brevona::test
