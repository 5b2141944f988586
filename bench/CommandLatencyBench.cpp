// The driver as a whole, on a simulated keyboard in memory (tmpfs) and a bus of its own:
// - BM_ButtonsChangedToDisplayFile: from sending "ButtonsChanged" with a new picture for one key
//   until that key's display file has been rewritten (target: below 10 ms);
// - BM_CommandFlood: 10,000 commands back to back per iteration, until the last one shows, with the
//   driver's resident memory before and after each block.
#include <sys/inotify.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include "DriverLink.h"
#include "KeyboardData.h"
#include "PropertyList.h"
#include "Rgb565Codec.h"
#include "SimulatedVolume.h"

using namespace brevona;
using Clock = std::chrono::steady_clock;

namespace {

const QString Key = QStringLiteral("A");

QByteArray tiff(const QColor &colour)
{
    QImage picture(48, 48, QImage::Format_RGB32);
    picture.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(1);
    writer.write(picture);
    return bytes;
}

QVariantMap pictureCommand(const QByteArray &picture)
{
    return {{"LayerId", "L"}, {"Buttons", QVariantMap{{Key, QVariantMap{{"Image", picture}}}}}};
}

// One driver with its own bus, home and keyboard, for the whole benchmark program.
class Rig
{
public:
    Rig()
        : m_dir(QDir(QStringLiteral("/dev/shm")).exists()
                    ? QStringLiteral("/dev/shm/brevona-bench-XXXXXX")
                    : QDir::tempPath() + QStringLiteral("/brevona-bench-XXXXXX"))
        , m_volume(m_dir.filePath(QStringLiteral("keyboard")))
    {}

    ~Rig()
    {
        for (QProcess *process : {&m_driver, &m_bus}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QString start()
    {
        if (!m_dir.isValid() || !m_volume.create(QByteArray()))
            return QStringLiteral("cannot create the simulated keyboard");
        const QString home = m_dir.path();
        const QString store = home + QStringLiteral("/data/Lumivox/Layers");
        QDir().mkpath(store + QStringLiteral("/L"));
        PropertyList::writeFile(store + QStringLiteral("/Group.plist"),
                                QVariantMap{{"ItemOrder", QVariantList{"L"}}});
        PropertyList::writeFile(
            store + QStringLiteral("/L/Layer.plist"),
            QVariantMap{{"Buttons", QVariantMap{{Key, QVariantMap()}, {"B", QVariantMap()}}}});

        m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                    QStringLiteral("--print-address")});
        if (!m_bus.waitForReadyRead(5000))
            return QStringLiteral("cannot start dbus-daemon");
        const QString address = QString::fromUtf8(m_bus.readLine()).trimmed();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        environment.insert(QStringLiteral("BREVONA_SIMULATED_KEYBOARD"), m_volume.root());
        environment.insert(QStringLiteral("BREVONA_RESOURCE_DIR"), QStringLiteral(BREVONA_RESOURCE_DIR));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_driver.setProcessEnvironment(environment);
        m_driver.setStandardOutputFile(QProcess::nullDevice());
        m_driver.setStandardErrorFile(QProcess::nullDevice());
        m_driver.start(QStringLiteral(BREVONA_DRIVER_EXECUTABLE), {});
        if (!m_driver.waitForStarted(5000))
            return QStringLiteral("cannot start the driver");

        m_link = std::make_unique<DriverLink>(address);
        QDeadlineTimer deadline(20000);
        while (!m_link->setupDriverConnection()) {
            if (deadline.hasExpired())
                return QStringLiteral("the driver did not register");
            QThread::msleep(20);
        }
        m_display = KeyboardData::shared().key(Key)->display;
        // Up and drawing: a first picture reaches the key.
        m_link->notifyDriverForCommand(QStringLiteral("ButtonsChanged"), pictureCommand(tiff(Qt::white)));
        if (!waitForColour(Qt::white, 20000))
            return QStringLiteral("the driver did not draw the key");
        return QString();
    }

    DriverLink &link() { return *m_link; }
    QString displayPath() const { return m_volume.displayPath(m_display); }

    bool waitForColour(const QColor &colour, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            if (const auto bytes = m_volume.readDisplay(m_display)) {
                if (const auto shown = Rgb565Codec::decode(*bytes, KeyboardData::isTurnedDisplay(m_display));
                    shown && QColor(shown->pixel(24, 24)) == colour)
                    return true;
            }
            if (deadline.hasExpired())
                return false;
            QThread::usleep(200);
        }
    }

    qint64 residentKilobytes()
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_driver.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
        return 0;
    }

private:
    QTemporaryDir m_dir;
    SimulatedVolume m_volume;
    QProcess m_bus;
    QProcess m_driver;
    std::unique_ptr<DriverLink> m_link;
    int m_display = 0;
};

Rig *g_rig = nullptr;

void BM_ButtonsChangedToDisplayFile(benchmark::State &state)
{
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 ||
        inotify_add_watch(watch, QFile::encodeName(g_rig->displayPath()).constData(), IN_MODIFY) < 0) {
        state.SkipWithError("cannot watch the display file");
        return;
    }
    const QByteArray pictures[] = {tiff(Qt::red), tiff(Qt::blue)};
    char events[4096];
    int turn = 0;
    std::vector<double> seconds;
    for (auto _ : state) {
        while (read(watch, events, sizeof events) > 0) {
        }
        const QByteArray &picture = pictures[turn++ % 2];
        const auto begin = Clock::now();
        g_rig->link().notifyDriverForCommand(QStringLiteral("ButtonsChanged"), pictureCommand(picture));
        pollfd descriptor{watch, POLLIN, 0};
        if (poll(&descriptor, 1, 5000) != 1) {
            state.SkipWithError("the display file was not rewritten");
            break;
        }
        seconds.push_back(std::chrono::duration<double>(Clock::now() - begin).count());
        state.SetIterationTime(seconds.back());
    }
    close(watch);
    if (!seconds.empty()) {
        std::sort(seconds.begin(), seconds.end());
        auto at = [&](double fraction) {
            return seconds[size_t(fraction * double(seconds.size() - 1))] * 1000.0;
        };
        state.counters["p50_ms"] = at(0.5);
        state.counters["p99_ms"] = at(0.99);
        state.counters["max_ms"] = seconds.back() * 1000.0;
    }
    if (!g_rig->waitForColour(turn % 2 ? Qt::red : Qt::blue, 5000))
        state.SkipWithError("the display shows the wrong picture");
}
BENCHMARK(BM_ButtonsChangedToDisplayFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(500);

void BM_CommandFlood(benchmark::State &state)
{
    constexpr int commands = 10000;
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};
    std::vector<QVariantMap> pictures;
    for (const QColor &colour : colours)
        pictures.push_back(pictureCommand(tiff(colour)));
    const QVariantMap last = pictureCommand(tiff(Qt::white));
    const qint64 before = g_rig->residentKilobytes();
    qint64 after = before;
    int block = 0;
    for (auto _ : state) {
        for (int i = 0; i < commands - 1; ++i) {
            if (i % 2 == 0)
                g_rig->link().notifyDriverForCommand(QStringLiteral("ButtonsChanged"),
                                                     pictures[(i / 2) % pictures.size()]);
            else
                g_rig->link().notifyDriverForCommand(QStringLiteral("LayerVisibilityChanged"),
                                                     {{"LayerId", "L"}, {"Enabled", true}});
        }
        g_rig->link().notifyDriverForCommand(QStringLiteral("ButtonsChanged"), last);
        if (!g_rig->waitForColour(Qt::white, 120000)) {
            state.SkipWithError("the last command did not show");
            break;
        }
        after = g_rig->residentKilobytes();
        state.counters["rss_after_block_" + std::to_string(++block) + "_kB"] = double(after);
        // Back to another colour, so that the next block's last picture is a change again.
        g_rig->link().notifyDriverForCommand(QStringLiteral("ButtonsChanged"), pictures[0]);
        g_rig->waitForColour(Qt::red, 5000);
    }
    state.counters["rss_before_kB"] = double(before);
    state.counters["commands_per_s"] =
        benchmark::Counter(double(commands) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CommandFlood)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    qputenv("BREVONA_RESOURCE_DIR", BREVONA_RESOURCE_DIR);
    // Options first: --help answers without starting a driver.
    benchmark::Initialize(&argc, argv);
    Rig rig;
    const QString error = rig.start();
    if (!error.isEmpty()) {
        fprintf(stderr, "bench_command_latency: %s\n", qPrintable(error));
        return 1;
    }
    g_rig = &rig;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
