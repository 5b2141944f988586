#pragma once

#include <poll.h>

#include <cstdlib>
#include <vector>

#include <QDeadlineTimer>
#include <QString>

#include <xcb/xcb.h>

namespace brevona::test {

// A small window of its own X client that holds the keyboard focus and notes every key press it
// gets, as xev would: it stands for the application in front.
class X11TestWindow
{
public:
    explicit X11TestWindow(const QString &display)
    {
        const QByteArray name = display.toLocal8Bit();
        m_connection = xcb_connect(name.constData(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 10, 10, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
        // Focus can only go to a viewable window.
        if (!waitFor(XCB_MAP_NOTIFY, 5000))
            return;
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
        xcb_get_input_focus_reply_t *focus =
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
        m_focused = focus && focus->focus == m_window;
        std::free(focus);
    }
    ~X11TestWindow()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
    }
    X11TestWindow(const X11TestWindow &) = delete;
    X11TestWindow &operator=(const X11TestWindow &) = delete;

    bool hasFocus() const { return m_focused; }

    // The key codes of the key presses the window got, up to and including `last`, or all of them
    // when `last` does not come in time.
    std::vector<int> keyPressesUntil(int last, int timeoutMs = 3000)
    {
        std::vector<int> codes;
        const QDeadlineTimer deadline(timeoutMs);
        while (xcb_generic_event_t *event = nextEvent(deadline)) {
            const bool press = (event->response_type & 0x7f) == XCB_KEY_PRESS;
            const int code = press ? reinterpret_cast<xcb_key_press_event_t *>(event)->detail : 0;
            std::free(event);
            if (!press)
                continue;
            codes.push_back(code);
            if (code == last)
                break;
        }
        return codes;
    }

private:
    // The next event, or nothing once the deadline has passed.
    xcb_generic_event_t *nextEvent(const QDeadlineTimer &deadline)
    {
        while (!deadline.hasExpired()) {
            if (xcb_generic_event_t *event = xcb_poll_for_event(m_connection))
                return event;
            pollfd readable{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&readable, 1, 20);
        }
        return nullptr;
    }

    bool waitFor(int type, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (xcb_generic_event_t *event = nextEvent(deadline)) {
            const bool found = (event->response_type & 0x7f) == type;
            std::free(event);
            if (found)
                return true;
        }
        return false;
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_window = 0;
    bool m_focused = false;
};

} // namespace brevona::test
