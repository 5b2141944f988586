#pragma once

#include <functional>

#include <QByteArray>
#include <QObject>

#include "EvdevFrameDecoder.h"

class QSocketNotifier;

namespace brevona {

// Reads one event device (or anything delivering struct input_event records, such as a pipe of
// recorded events) without blocking, on the main loop, and hands over each completed frame. The
// end of the stream (the device was unplugged, or the writer closed) is reported once.
class EvdevReader : public QObject
{
    Q_OBJECT
public:
    using FrameHandler = std::function<void(const EvdevFrame &)>;
    using HangUpHandler = std::function<void()>;

    // Takes ownership of `fd` and makes it non-blocking.
    EvdevReader(int fd, QHash<int, quint32> usageForKeyCode, QObject *parent = nullptr);
    ~EvdevReader() override;

    void start(FrameHandler onFrame, HangUpHandler onHangUp);
    // Stops reading; no handler runs afterwards.
    void stop();
    int fd() const { return m_fd; }

    // Reads whatever is available now; the notifier calls it, and tests may too.
    void readAvailable();

private:
    void hangUp();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    EvdevFrameDecoder m_decoder;
    QByteArray m_partial;
    FrameHandler m_onFrame;
    HangUpHandler m_onHangUp;
    bool m_stopped = true;
};

} // namespace brevona
