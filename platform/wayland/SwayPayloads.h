#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace brevona {

// What the driver reads from the JSON payloads of sway's IPC socket, kept apart from the socket so
// that recorded payloads can be read without a compositor. A payload that is not what its message
// type promises gives nothing.
class SwayPayloads
{
public:
    // A view: a Wayland client's window (app id) or an Xwayland one (X class and instance).
    struct Window
    {
        qint64 id = 0;
        QString appId;
        QString wmClass;
        QString wmInstance;
        qint64 pid = 0;
        bool focused = false;
    };

    struct WindowEvent
    {
        QString change; // "new", "close", "focus", "title", ...
        Window window;
    };

    struct Keyboard
    {
        QString identifier;
        QStringList layoutNames; // as the keymap names them: "English (US)", "German"
        int activeIndex = -1;
    };

    struct InputEvent
    {
        QString change; // "added", "removed", "xkb_keymap", "xkb_layout", ...
        Keyboard keyboard;
    };

    // The views of a GET_TREE reply, tiled and floating, on every workspace and the scratchpad.
    static std::optional<QList<Window>> windowsOfTree(const QByteArray &payload);
    static std::optional<WindowEvent> windowEvent(const QByteArray &payload);
    // Whether a workspace event leaves the focus on a workspace without windows (nothing in front).
    static bool focusesEmptyWorkspace(const QByteArray &payload);
    // The keyboards of a GET_INPUTS reply, in its order.
    static std::optional<QList<Keyboard>> keyboardsOfInputs(const QByteArray &payload);
    // An input event about a keyboard; nothing for other devices.
    static std::optional<InputEvent> inputEvent(const QByteArray &payload);
    // The command of a binding event that ran one.
    static std::optional<QString> boundCommand(const QByteArray &payload);
    // Whether every command of a RUN_COMMAND reply succeeded; the first error otherwise.
    static std::optional<QString> commandError(const QByteArray &payload);
};

} // namespace brevona
