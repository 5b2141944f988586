#pragma once

#include <optional>

#include <QByteArray>
#include <QtGlobal>

namespace brevona {

// The framing of sway's IPC socket (the i3 IPC protocol): the magic "i3-ipc", the payload's
// length and the message type as 32-bit numbers in the machine's byte order (little-endian on every
// machine sway runs on), then the JSON payload. Replies carry the request's type; events have the
// highest type bit set. Bytes are fed as the socket delivers them and messages taken out whole.
class I3IpcCodec
{
public:
    static constexpr quint32 EventBit = 0x80000000u;

    enum Type : quint32
    {
        RunCommand = 0,
        Subscribe = 2,
        GetTree = 4,
        GetInputs = 100,
    };

    enum Event : quint32
    {
        WorkspaceEvent = EventBit | 0,
        WindowEvent = EventBit | 3,
        BindingEvent = EventBit | 5,
        InputEvent = EventBit | 21,
    };

    struct Message
    {
        quint32 type = 0;
        QByteArray payload;
    };

    // No message of the compositor is near this; a stream claiming more is broken.
    static constexpr quint32 MaximumPayload = 64u << 20;

    static QByteArray encode(quint32 type, const QByteArray &payload);

    void feed(const QByteArray &bytes);
    // The next whole message; nothing while it is incomplete or once the stream is broken.
    std::optional<Message> next();
    // Whether the stream broke (a wrong magic or an oversized length); nothing more comes out.
    bool failed() const { return m_failed; }

private:
    QByteArray m_buffer;
    bool m_failed = false;
};

} // namespace brevona
