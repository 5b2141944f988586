#include "X11AppEventConnection.h"

#include <algorithm>

#include <QSocketNotifier>
#include <QTimer>

#include "DisplaySession.h"
#include "linux/XcbReply.h"

Q_LOGGING_CATEGORY(lcX11, "brevona.platform.x11")

namespace brevona {

namespace {

// The first retry after a failure comes soon (a server being started), later ones ever less often.
constexpr int kFirstRetryMs = 250;
constexpr int kLongestRetryMs = 8000;
// Properties longer than this (in 32-bit units) are read in one more request.
constexpr quint32 kFirstReadLength = 1024;

} // namespace

X11AppEventConnection::X11AppEventConnection(QString display, QString unavailable, QObject *parent)
    : QObject(parent)
    , m_display(std::move(display))
    , m_unavailable(std::move(unavailable))
    , m_retryDelayMs(kFirstRetryMs)
{}

X11AppEventConnection::~X11AppEventConnection()
{
    disconnect();
}

void X11AppEventConnection::logUnavailable(const QString &reason)
{
    if (m_unavailableLogged)
        return;
    m_unavailableLogged = true;
    qCWarning(lcX11).noquote() << reason + QStringLiteral("; ") + m_unavailable;
}

void X11AppEventConnection::disconnect()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
    m_root = 0;
    m_atoms.clear();
}

void X11AppEventConnection::lost()
{
    // The notifier may be the caller: let it go once the event loop is back.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    disconnect();
    m_unavailableLogged = false;
    logUnavailable(QStringLiteral("Lost the connection to the X server"));
    m_retryDelayMs = kFirstRetryMs;
    retryLater();
    if (m_disconnected)
        m_disconnected();
}

void X11AppEventConnection::retryLater()
{
    m_reconnecting = true;
    m_nextAttempt.setRemainingTime(m_retryDelayMs);
    if (m_connected) {
        if (!m_retry) {
            m_retry = new QTimer(this);
            m_retry->setSingleShot(true);
            connect(m_retry, &QTimer::timeout, this, [this] {
                if (!m_connection)
                    connectNow();
            });
        }
        m_retry->start(m_retryDelayMs);
    }
    m_retryDelayMs = std::min(m_retryDelayMs * 2, kLongestRetryMs);
}

xcb_connection_t *X11AppEventConnection::get()
{
    if (m_connection && xcb_connection_has_error(m_connection))
        lost();
    if (m_connection)
        return m_connection;
    if (!m_nextAttempt.hasExpired())
        return nullptr;
    return connectNow();
}

xcb_connection_t *X11AppEventConnection::connectNow()
{
    // The session does not change while the program runs: no retries.
    if (const auto reason = DisplaySession::x11Unavailable(m_display)) {
        m_nextAttempt = QDeadlineTimer::Forever;
        logUnavailable(*reason);
        return nullptr;
    }
    const QByteArray name = m_display.toLocal8Bit();
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        logUnavailable(QStringLiteral("Cannot connect to the X display ") +
                       (m_display.isEmpty() ? qEnvironmentVariable("DISPLAY") : m_display));
        retryLater();
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem <= 0) {
        xcb_disconnect(connection);
        logUnavailable(QStringLiteral("The X display has no such screen"));
        retryLater();
        return nullptr;
    }
    m_connection = connection;
    m_root = screens.data->root;
    m_unavailableLogged = false;
    m_retryDelayMs = kFirstRetryMs;
    if (m_retry)
        m_retry->stop();
    ++m_generation;
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11AppEventConnection::dispatch);
    if (m_reconnecting) {
        m_reconnecting = false;
        qCInfo(lcX11).noquote() << "Connected to the X display"
                                << (m_display.isEmpty() ? qEnvironmentVariable("DISPLAY") : m_display);
        // The owner may be the caller: it sets itself up and tells what it finds on the next pass.
        if (m_connected)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_connected)
                        m_connected();
                },
                Qt::QueuedConnection);
    }
    return m_connection;
}

void X11AppEventConnection::dispatch()
{
    // A handler that asks the server may read further events; the running loop takes them too.
    if (m_dispatching || !m_connection)
        return;
    m_dispatching = true;
    while (m_connection) {
        const XcbReply<xcb_generic_event_t> event(xcb_poll_for_event(m_connection));
        if (!event)
            break;
        if (m_handler)
            m_handler(*event);
    }
    m_dispatching = false;
    if (m_connection && xcb_connection_has_error(m_connection))
        lost();
}

xcb_atom_t X11AppEventConnection::atom(const char *name)
{
    const QByteArray key(name);
    if (const auto found = m_atoms.constFind(key); found != m_atoms.constEnd())
        return *found;
    xcb_connection_t *connection = get();
    if (!connection)
        return XCB_ATOM_NONE;
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<quint16>(key.size()), key.constData()),
        nullptr));
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t value = reply->atom;
    m_atoms.insert(key, value);
    return value;
}

std::optional<QByteArray> X11AppEventConnection::property(xcb_window_t window, xcb_atom_t property,
                                                          xcb_atom_t type, quint8 *format)
{
    xcb_connection_t *connection = get();
    if (!connection || property == XCB_ATOM_NONE)
        return std::nullopt;
    quint32 length = kFirstReadLength;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, property, type, 0, length), nullptr));
        if (!reply)
            return std::nullopt;
        if (reply->type == XCB_ATOM_NONE || (type != XCB_ATOM_ANY && reply->type != type))
            return std::nullopt;
        if (reply->bytes_after > 0 && attempt == 0) {
            length += (reply->bytes_after + 3) / 4;
            continue;
        }
        QByteArray value(static_cast<const char *>(xcb_get_property_value(reply.get())),
                         xcb_get_property_value_length(reply.get()));
        if (format)
            *format = reply->format;
        return value;
    }
    return std::nullopt;
}

} // namespace brevona
