// The driver as a whole under a private X server (Xvfb with openbox), a bus of its own and a
// simulated keyboard in memory: from the X server's announcement that another window is active
// (the PropertyNotify of _NET_ACTIVE_WINDOW on the root window, as the driver receives it) until
// the display file of the key that a foreground-application layer defines has been rewritten.
// Target: below 8 ms at the median.
//
// Two windows of this program stand for two applications ("BenchAlpha" and "BenchOther", their
// WM_CLASS). The layer "Front" shows key A in red while BenchAlpha is in front; below it the
// benchmark's argument gives the number of always-visible layers that define every key, so that
// each switch recomposes the whole keyboard. Each iteration asks openbox to activate the other
// window (as a pager or xdotool does) and times from the first _NET_ACTIVE_WINDOW change that follows
// until the write. openbox often announces "no window" first and the new window a moment later;
// "last_event_p50_ms" times from the last announcement before the write instead, and
// "request_p50_ms" from the request, the window manager's part included.
//
// The driver runs from a copy with another name, so that the single-instance rule neither ends
// nor is ended by drivers of other sessions of the same user. BREVONA_BENCH_DRIVER names another
// driver binary to measure (an older build, for comparison).
#include <sys/inotify.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include "CommandNames.h"
#include "ConditionKeys.h"
#include "DriverLink.h"
#include "KeyboardData.h"
#include "linux/XcbReply.h"
#include "PropertyList.h"
#include "Rgb565Codec.h"
#include "SimulatedVolume.h"
#include "StoreNames.h"

using namespace brevona;
using Clock = std::chrono::steady_clock;

namespace {

const QString Key = QStringLiteral("A");
const char AlphaClass[] = "bench\0BenchAlpha";
const char OtherClass[] = "bench\0BenchOther";

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

void writeLayer(const QString &folder, const QVariantMap &plist, const QImage &picture)
{
    QDir().mkpath(folder);
    PropertyList::writeFile(folder + QLatin1Char('/') + storenames::LayerFile, plist);
    QImageWriter writer(folder + QLatin1Char('/') + storenames::PictureFile, "tiff");
    writer.setCompression(1);
    writer.write(picture);
}

// The store: "Front" on top, then `fullLayers` layers that define every key.
void writeStore(const QString &root, int fullLayers)
{
    const KeyboardData &keyboard = KeyboardData::shared();
    QVariantList order{QStringLiteral("Front")};
    QImage front(KeyboardData::kPictureWidth, KeyboardData::kPictureHeight, QImage::Format_RGB32);
    front.fill(Qt::black);
    QPainter(&front).fillRect(keyboard.key(Key)->cell(), Qt::red);
    const QVariantMap condition{
        {conditionkeys::Type, conditionkeys::ApplicationType},
        {conditionkeys::Settings, QVariantMap{{conditionkeys::Application, "BenchAlpha"},
                                              {conditionkeys::Predicate, conditionkeys::IsActive}}}};
    writeLayer(root + QStringLiteral("/Front"),
               {{"DisplayName", "Front"},
                {"Conditions", QVariantList{condition}},
                {"Buttons", QVariantMap{{Key, QVariantMap()}}}},
               front);
    for (int n = 0; n < fullLayers; ++n) {
        QImage picture(KeyboardData::kPictureWidth, KeyboardData::kPictureHeight, QImage::Format_RGB32);
        picture.fill(Qt::black);
        QPainter painter(&picture);
        QVariantMap buttons;
        for (const auto &key : keyboard.keys()) {
            painter.fillRect(key.cell(), QColor::fromHsv((n * 37 + key.display * 3) % 360, 200, 200));
            painter.drawText(key.cell(), Qt::AlignCenter, QString::number(n));
            buttons.insert(key.name, QVariantMap());
        }
        painter.end();
        const QString id = QStringLiteral("Full%1").arg(n);
        order.append(id);
        writeLayer(root + QLatin1Char('/') + id,
                   {{"DisplayName", id}, {"Conditions", QVariantList()}, {"Buttons", buttons}}, picture);
    }
    PropertyList::writeFile(
        root + QLatin1Char('/') + storenames::GroupFile,
        QVariantMap{{storenames::DisplayName, "root"}, {commands::keys::ItemOrder, order}});
}

// Xvfb, openbox, a bus and one driver; two windows of this program.
class Rig
{
public:
    explicit Rig(int fullLayers)
        : m_dir(QDir(QStringLiteral("/dev/shm")).exists()
                    ? QStringLiteral("/dev/shm/brevona-bench-XXXXXX")
                    : QDir::tempPath() + QStringLiteral("/brevona-bench-XXXXXX"))
        , m_volume(m_dir.filePath(QStringLiteral("keyboard")))
        , m_fullLayers(fullLayers)
    {}

    ~Rig()
    {
        for (QProcess *process : {&m_driver, &m_bus, &m_windowManager, &m_server}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        if (m_x)
            xcb_disconnect(m_x);
    }

    QString start()
    {
        if (!m_dir.isValid() || !m_volume.create(QByteArray()))
            return QStringLiteral("cannot create the simulated keyboard");
        if (QString error = startX(); !error.isEmpty())
            return error;
        const QString home = m_dir.path();
        writeStore(home + QStringLiteral("/data/Lumivox/Layers"), m_fullLayers);
        const QString runtime = home + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                    QStringLiteral("--print-address")});
        if (!m_bus.waitForReadyRead(5000))
            return QStringLiteral("cannot start dbus-daemon");
        const QString address = QString::fromUtf8(m_bus.readLine()).trimmed();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("XDG_SESSION_TYPE"));
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("BREVONA_SIMULATED_KEYBOARD"), m_volume.root());
        environment.insert(QStringLiteral("BREVONA_RESOURCE_DIR"), QStringLiteral(BREVONA_RESOURCE_DIR));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString driver = home + QStringLiteral("/BrevonaForegroundBench");
        const QString built =
            qEnvironmentVariable("BREVONA_BENCH_DRIVER", QStringLiteral(BREVONA_DRIVER_EXECUTABLE));
        if (!QFile::copy(built, driver))
            return QStringLiteral("cannot copy the driver");
        m_driver.setProcessEnvironment(environment);
        m_driver.setStandardOutputFile(QProcess::nullDevice());
        m_driver.setStandardErrorFile(home + QStringLiteral("/driver.log"));
        m_driver.start(driver, {});
        if (!m_driver.waitForStarted(5000))
            return QStringLiteral("cannot start the driver");
        DriverLink link(address);
        QDeadlineTimer deadline(30000);
        while (!link.setupDriverConnection()) {
            if (deadline.hasExpired())
                return QStringLiteral("the driver did not register");
            QThread::msleep(20);
        }
        m_keyDisplay = KeyboardData::shared().key(Key)->display;
        // Up and following the session: the layer shows once its application is in front.
        activate(m_other);
        activate(m_alpha);
        if (!waitForColour(Qt::red, 30000))
            return QStringLiteral("the driver did not show the foreground layer");
        // The device reads the keyboard's settings 2 s after finding it and pauses after each order
        // it writes: start-up, not the path measured here.
        QThread::sleep(3);
        return QString();
    }

    xcb_connection_t *x() const { return m_x; }
    xcb_window_t alpha() const { return m_alpha; }
    xcb_window_t other() const { return m_other; }
    xcb_atom_t activeWindowAtom() const { return m_activeWindow; }
    QString displayPath() const { return m_volume.displayPath(m_keyDisplay); }

    // Asks the window manager to bring `window` to the front, as a pager does.
    void activate(xcb_window_t window)
    {
        xcb_client_message_event_t message;
        std::memset(&message, 0, sizeof message);
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = m_activeWindow;
        message.data.data32[0] = 2; // source: a pager, which focus-stealing prevention lets through
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_x, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(m_x);
    }

    bool waitForColour(const QColor &colour, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            if (const auto bytes = m_volume.readDisplay(m_keyDisplay)) {
                if (const auto shown =
                        Rgb565Codec::decode(*bytes, KeyboardData::isTurnedDisplay(m_keyDisplay));
                    shown && QColor(shown->pixel(24, 24)) == colour)
                    return true;
            }
            if (deadline.hasExpired())
                return false;
            QThread::usleep(500);
        }
    }

private:
    QString startX()
    {
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("640x480x24")});
        if (!m_server.waitForReadyRead(20000))
            return QStringLiteral("cannot start Xvfb");
        m_display = QLatin1Char(':') + QString::fromUtf8(m_server.readLine()).trimmed();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        m_windowManager.setProcessEnvironment(environment);
        m_windowManager.setStandardOutputFile(QProcess::nullDevice());
        m_windowManager.setStandardErrorFile(QProcess::nullDevice());
        m_windowManager.start(QStringLiteral("openbox"), {});
        if (!m_windowManager.waitForStarted(5000))
            return QStringLiteral("cannot start openbox");

        m_x = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
        if (xcb_connection_has_error(m_x))
            return QStringLiteral("cannot connect to ") + m_display;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
        m_activeWindow = atom("_NET_ACTIVE_WINDOW");
        const xcb_atom_t clientList = atom("_NET_CLIENT_LIST");
        const quint32 rootMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_x, m_root, XCB_CW_EVENT_MASK, &rootMask);
        // openbox may miss a window mapped while it starts: wait until it owns the screen.
        QDeadlineTimer deadline(20000);
        while (propertyLength(atom("_NET_SUPPORTING_WM_CHECK")) == 0) {
            if (deadline.hasExpired())
                return QStringLiteral("openbox did not start");
            QThread::msleep(20);
        }
        m_alpha = window(AlphaClass, sizeof AlphaClass);
        m_other = window(OtherClass, sizeof OtherClass);
        // openbox can miss windows mapped while it starts: map them again until it manages both.
        for (int attempt = 0; propertyLength(clientList) < 2 * 4; ++attempt) {
            if (deadline.hasExpired())
                return QStringLiteral("openbox did not manage the windows");
            QThread::msleep(20);
            if (attempt % 50 == 49) {
                for (xcb_window_t window : {m_alpha, m_other}) {
                    xcb_unmap_window(m_x, window);
                    xcb_map_window(m_x, window);
                }
                xcb_flush(m_x);
            }
        }
        return QString();
    }

    xcb_atom_t atom(const char *name)
    {
        const XcbReply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(m_x, xcb_intern_atom(m_x, 0, quint16(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    int propertyLength(xcb_atom_t property)
    {
        const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_x, xcb_get_property(m_x, 0, m_root, property, XCB_ATOM_ANY, 0, 64), nullptr));
        return reply ? xcb_get_property_value_length(reply.get()) : 0;
    }

    xcb_window_t window(const char *wmClass, size_t length)
    {
        const xcb_window_t window = xcb_generate_id(m_x);
        xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data;
        xcb_create_window(m_x, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_change_property(m_x, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            quint32(length), wmClass);
        xcb_map_window(m_x, window);
        xcb_flush(m_x);
        return window;
    }

    QTemporaryDir m_dir;
    SimulatedVolume m_volume;
    int m_fullLayers = 0;
    QProcess m_server;
    QProcess m_windowManager;
    QProcess m_bus;
    QProcess m_driver;
    QString m_display;
    xcb_connection_t *m_x = nullptr;
    xcb_window_t m_root = 0;
    xcb_window_t m_alpha = 0;
    xcb_window_t m_other = 0;
    xcb_atom_t m_activeWindow = XCB_ATOM_NONE;
    int m_keyDisplay = 0;
};

void drainX(xcb_connection_t *x)
{
    while (XcbReply<xcb_generic_event_t>(xcb_poll_for_event(x)))
        continue;
}

bool isActiveWindowChange(const xcb_generic_event_t *event, xcb_atom_t activeWindow)
{
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    return reinterpret_cast<const xcb_property_notify_event_t *>(event)->atom == activeWindow;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(fraction * double(values.size() - 1))];
}

void BM_ForegroundChangeToDisplayFile(benchmark::State &state)
{
    Rig rig(int(state.range(0)));
    if (const QString error = rig.start(); !error.isEmpty()) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 ||
        inotify_add_watch(watch, QFile::encodeName(rig.displayPath()).constData(), IN_MODIFY) < 0) {
        state.SkipWithError("cannot watch the display file");
        return;
    }
    xcb_connection_t *x = rig.x();
    char events[4096];
    bool alphaInFront = true;
    std::vector<double> fromEvent;
    std::vector<double> fromLastEvent;
    std::vector<double> fromRequest;
    double eventsPerSwitch = 0;
    for (auto _ : state) {
        // Let the previous switch settle: late events of the window manager are not this switch's.
        QThread::msleep(30);
        drainX(x);
        while (read(watch, events, sizeof events) > 0) {
        }
        alphaInFront = !alphaInFront;
        const auto requested = Clock::now();
        rig.activate(alphaInFront ? rig.alpha() : rig.other());
        Clock::time_point firstAnnounced;
        Clock::time_point announced;
        bool written = false;
        while (!written) {
            pollfd descriptors[2] = {{xcb_get_file_descriptor(x), POLLIN, 0}, {watch, POLLIN, 0}};
            if (poll(descriptors, 2, 5000) <= 0)
                break;
            const auto now = Clock::now();
            while (const XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(x)}) {
                if (isActiveWindowChange(event.get(), rig.activeWindowAtom())) {
                    if (firstAnnounced == Clock::time_point())
                        firstAnnounced = now;
                    announced = now;
                    ++eventsPerSwitch;
                }
            }
            if (descriptors[1].revents & POLLIN)
                written = true;
        }
        if (!written || announced == Clock::time_point()) {
            state.SkipWithError(written ? "no _NET_ACTIVE_WINDOW change was seen"
                                        : "the display file was not rewritten");
            break;
        }
        const auto done = Clock::now();
        fromEvent.push_back(milliseconds(done - firstAnnounced));
        fromLastEvent.push_back(milliseconds(done - announced));
        fromRequest.push_back(milliseconds(done - requested));
        state.SetIterationTime(fromEvent.back() / 1000.0);
    }
    close(watch);
    if (!rig.waitForColour(alphaInFront ? QColor(Qt::red) : QColor(Qt::black), 5000))
        state.SkipWithError("the display shows the wrong picture");
    state.counters["p50_ms"] = percentile(fromEvent, 0.5);
    state.counters["p90_ms"] = percentile(fromEvent, 0.9);
    state.counters["max_ms"] = percentile(fromEvent, 1.0);
    state.counters["last_event_p50_ms"] = percentile(fromLastEvent, 0.5);
    state.counters["request_p50_ms"] = percentile(fromRequest, 0.5);
    state.counters["x_events_per_switch"] =
        fromEvent.empty() ? 0 : eventsPerSwitch / double(fromEvent.size());
}
BENCHMARK(BM_ForegroundChangeToDisplayFile)
    ->Arg(0)
    ->Arg(20)
    ->ArgName("full_layers")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200);

} // namespace
