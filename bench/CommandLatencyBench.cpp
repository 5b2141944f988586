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

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include "DriverLink.h"
#include "DriverSession.h"
#include "StoreBuilder.h"
#include "Wait.h"

using namespace brevona;
using Clock = std::chrono::steady_clock;

namespace {

const QString Key = QStringLiteral("A");

QByteArray tiff(const QColor &colour)
{
    return test::StoreBuilder::tiff(colour);
}

QVariantMap pictureCommand(const QByteArray &picture)
{
    return {{"LayerId", "L"}, {"Buttons", QVariantMap{{Key, QVariantMap{{"Image", picture}}}}}};
}

// One driver with its own bus, home and keyboard, for the whole benchmark program.
class Rig
{
public:
    QString start()
    {
        m_session.store().group(QString(), {"L"});
        m_session.store().layer("L", {{"Buttons", test::StoreBuilder::buttons({Key, "B"})}});
        if (!m_session.start())
            return m_session.error();
        m_link = std::make_unique<DriverLink>(m_session.busAddress());
        if (!test::waitUntil([&] { return m_link->setupDriverConnection(); }, std::chrono::seconds(20)))
            return QStringLiteral("the driver did not register");
        // Up and drawing: a first picture reaches the key.
        m_link->notifyDriverForCommand(QStringLiteral("ButtonsChanged"), pictureCommand(tiff(Qt::white)));
        if (!waitForColour(Qt::white, 20000))
            return QStringLiteral("the driver did not draw the key");
        return QString();
    }

    DriverLink &link() { return *m_link; }
    QString displayPath() const
    {
        return m_session.volume().displayPath(test::DriverSession::displayOf(Key));
    }
    bool waitForColour(const QColor &colour, int timeoutMs)
    {
        return m_session.waitForColour(Key, colour, std::chrono::milliseconds(timeoutMs));
    }
    qint64 residentKilobytes() const { return m_session.residentKilobytes(); }

private:
    // Without its verbose log: the flood would spend its time writing it.
    test::DriverSession m_session{{.arguments = {}, .keepLog = false}};
    std::unique_ptr<DriverLink> m_link;
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
    // The session's home, and with it the keyboard's display files, in memory where there is a tmpfs.
    if (QDir(QStringLiteral("/dev/shm")).exists())
        qputenv("TMPDIR", "/dev/shm");
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
