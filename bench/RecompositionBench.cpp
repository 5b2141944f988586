// From "SOME_CONDITION_HAVE_TRIGGERED" to the last changed display file written on a simulated
// keyboard volume in memory: 114 keys, the built-in layers plus 20 visible user layers (one
// hybrid). Also reports the resident memory of a tree of 100 full user layers.
#include <memory>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "KCLumivoxImage.h"
#include "KDButton.h"
#include "KDKeyboardDevice.h"
#include "KDLayerManager.h"
#include "KeyboardData.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "Paths.h"
#include "SimulatedVolume.h"
#include "SimulatedVolumeMonitor.h"
#include "StoreBuilder.h"
#include "StoreNames.h"

using namespace brevona;
using namespace std::chrono_literals;

namespace {

QString memoryFolder()
{
    return QDir(QStringLiteral("/dev/shm")).exists()
               ? QStringLiteral("/dev/shm/brevona-bench-XXXXXX")
               : QDir::tempPath() + QStringLiteral("/brevona-bench-XXXXXX");
}

// A layer defining every key, each cell in its own colour and numbered.
void fullLayer(const test::StoreBuilder &store, const QString &path, int seed, bool hybrid)
{
    QImage picture = test::StoreBuilder::layerPicture();
    QPainter painter(&picture);
    for (const auto &key : KeyboardData::shared().keys()) {
        painter.fillRect(key.cell(), QColor::fromHsv((seed * 37 + key.display * 3) % 360, 200, 200));
        painter.drawText(key.cell(), Qt::AlignCenter, QString::number(seed));
    }
    painter.end();
    const QVariantMap plist{{"DisplayName", QString::number(seed)},
                            {"Hybrid", hybrid},
                            {"Disabled", false},
                            {"Conditions", QVariantList{}},
                            {"Buttons", test::StoreBuilder::buttons(test::StoreBuilder::allKeys())}};
    store.layer(path, plist, picture);
}

// A store of `count` user layers over the built-in language and control-button layers.
QString writeStore(const QString &root, int count)
{
    const test::StoreBuilder store(root);
    QStringList order;
    for (int i = 0; i < count; ++i) {
        order.append(QStringLiteral("L%1").arg(i));
        fullLayer(store, order.last(), i, i == count / 2);
    }
    store.group(QString(), order, {{"DisplayName", "root"}});
    store.group("Defaults", {"Language0", "ControlButtons"}, {{"DisplayName", "Background"}});
    store.group("Defaults/Language0", {"Lang0_None"}, {{"DisplayName", "English"}});
    fullLayer(store, "Defaults/Language0/Lang0_None", 1000, true);
    fullLayer(store, "Defaults/ControlButtons", 2000, false);
    return root;
}

struct Rig
{
    QTemporaryDir dir{memoryFolder()};
    std::unique_ptr<SimulatedVolume> volume;
    std::unique_ptr<KDKeyboardDevice> device;
    std::unique_ptr<KDLayerManager> manager;

    explicit Rig(int layers)
    {
        volume = std::make_unique<SimulatedVolume>(dir.filePath(QStringLiteral("keyboard")));
        volume->create(QByteArray());
        KDKeyboardDevice::Environment environment;
        environment.volumes = std::make_unique<SimulatedVolumeMonitor>(volume->root());
        environment.preferencesFile = dir.filePath(QStringLiteral("preferences.plist"));
        environment.scancodeResource = dir.filePath(QStringLiteral("scancode.sys"));
        environment.timing.afterFileWrite = 0ms;
        environment.timing.afterScancodes = 0ms;
        device = std::make_unique<KDKeyboardDevice>(std::move(environment));
        device->waitUntilIdle(10s);
        KDButton::setDisplaySink([this](const std::shared_ptr<KCLumivoxImage> &picture, int oled) {
            device->showImage(picture, oled);
        });
        const QString store = writeStore(dir.filePath(QStringLiteral("Layers")), layers);
        manager = std::make_unique<KDLayerManager>(
            store, QDir(Paths::resourceFolder()).filePath(storenames::BlackLayerId));
        device->waitUntilIdle(10s);
    }
    ~Rig()
    {
        manager.reset();
        KDButton::setDisplaySink({});
    }
};

void BM_RecomposeTopLayerToggled(benchmark::State &state)
{
    Rig rig(20);
    auto &center = NotificationCenter::defaultCenter();
    bool enabled = true;
    for (auto _ : state) {
        enabled = !enabled;
        // The top layer switched: every key it defines changes.
        center.post(notifications::ToggleLayerAction, QStringLiteral("L0"));
        rig.device->waitUntilIdle(10s);
    }
    state.counters["picture_writes"] = double(rig.device->statistics().pictureWrites);
}
BENCHMARK(BM_RecomposeTopLayerToggled)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RecomposeNothingChanged(benchmark::State &state)
{
    Rig rig(20);
    auto &center = NotificationCenter::defaultCenter();
    const auto writesBefore = rig.device->statistics().pictureWrites;
    for (auto _ : state) {
        center.post(notifications::SomeConditionHaveTriggered);
        rig.device->waitUntilIdle(10s);
    }
    if (rig.device->statistics().pictureWrites != writesBefore)
        state.SkipWithError("a recomposition that changes nothing wrote display files");
}
BENCHMARK(BM_RecomposeNothingChanged)->Unit(benchmark::kMillisecond)->UseRealTime();

long residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

void BM_ResidentMemoryWith100Layers(benchmark::State &state)
{
    for (auto _ : state) {
        Rig rig(100);
        state.counters["rss_MB"] = double(residentKilobytes()) / 1024.0;
    }
}
BENCHMARK(BM_ResidentMemoryWith100Layers)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
