#include "EvdevReader.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>

#include "HidBackendLogging.h"

namespace brevona {

EvdevReader::EvdevReader(int fd, QHash<int, quint32> usageForKeyCode, QObject *parent)
    : QObject(parent)
    , m_fd(fd)
    , m_decoder(std::move(usageForKeyCode))
{
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
}

EvdevReader::~EvdevReader()
{
    stop();
    if (m_fd >= 0)
        ::close(m_fd);
}

void EvdevReader::start(FrameHandler onFrame, HangUpHandler onHangUp)
{
    m_onFrame = std::move(onFrame);
    m_onHangUp = std::move(onHangUp);
    m_stopped = false;
    if (!m_notifier) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { readAvailable(); });
    }
    m_notifier->setEnabled(true);
}

void EvdevReader::stop()
{
    m_stopped = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
}

void EvdevReader::readAvailable()
{
    // A handler may stop or even schedule the deletion of this reader.
    const QPointer<EvdevReader> self(this);
    char buffer[64 * sizeof(input_event)];
    while (!m_stopped) {
        const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (count <= 0) {
            // 0: the writer closed; ENODEV: the device was unplugged. Either way nothing more comes.
            if (count < 0 && errno != ENODEV)
                qCWarning(lcHidBackend).noquote()
                    << "Reading an input device failed:" << std::strerror(errno);
            hangUp();
            return;
        }
        m_partial.append(buffer, count);
        qsizetype offset = 0;
        while (!m_stopped && m_partial.size() - offset >= static_cast<qsizetype>(sizeof(input_event))) {
            input_event event;
            std::memcpy(&event, m_partial.constData() + offset, sizeof event);
            offset += sizeof event;
            EvdevFrame frame;
            if (m_decoder.feed(event, frame) && m_onFrame) {
                m_onFrame(frame);
                if (!self)
                    return;
            }
        }
        m_partial.remove(0, offset);
    }
}

void EvdevReader::hangUp()
{
    const HangUpHandler handler = m_onHangUp;
    stop();
    if (handler)
        handler();
}

} // namespace brevona
