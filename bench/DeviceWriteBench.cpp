// From showImage for all 114 displays to the last display file written on a simulated keyboard
// volume in memory (tmpfs), without the pauses the firmware needs after whole-file writes.
#include <memory>
#include <vector>

#include <QDir>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "KCLumivoxImage.h"
#include "KDKeyboardDevice.h"
#include "SimulatedVolume.h"
#include "SimulatedVolumeMonitor.h"

using namespace brevona;
using namespace std::chrono_literals;

namespace {

constexpr int kDisplays = 114;

QString memoryFolder()
{
    return QDir(QStringLiteral("/dev/shm")).exists()
               ? QStringLiteral("/dev/shm/brevona-bench-XXXXXX")
               : QDir::tempPath() + QStringLiteral("/brevona-bench-XXXXXX");
}

std::vector<std::shared_ptr<KCLumivoxImage>> pictureSet(quint32 seed)
{
    std::vector<std::shared_ptr<KCLumivoxImage>> pictures;
    QRandomGenerator random(seed);
    for (int n = 0; n < kDisplays; ++n) {
        QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor::fromRgb(random.generate()));
        image.setPixel(n % 48, n / 48, qRgb(255, 255, 255));
        pictures.push_back(KCLumivoxImage::create(image));
    }
    return pictures;
}

void BM_Show114ChangedPictures(benchmark::State &state)
{
    QTemporaryDir dir(memoryFolder());
    SimulatedVolume volume(dir.filePath(QStringLiteral("keyboard")));
    if (!volume.create(QByteArray())) {
        state.SkipWithError("cannot create the simulated volume");
        return;
    }
    KDKeyboardDevice::Environment environment;
    environment.volumes = std::make_unique<SimulatedVolumeMonitor>(volume.root());
    environment.preferencesFile = dir.filePath(QStringLiteral("preferences.plist"));
    environment.scancodeResource = dir.filePath(QStringLiteral("scancode.sys"));
    environment.timing.afterFileWrite = 0ms;
    environment.timing.afterScancodes = 0ms;
    KDKeyboardDevice device(std::move(environment));
    device.waitUntilIdle(10s);

    // Two sets shown in turn, so every display changes every time; the drawing before each show
    // leaves the encoding to be made, as after a new composition.
    const std::vector<std::vector<std::shared_ptr<KCLumivoxImage>>> sets{pictureSet(1), pictureSet(2)};
    std::size_t round = 0;
    const auto writesBefore = device.statistics().pictureWrites;
    for (auto _ : state) {
        const auto &pictures = sets[round++ % 2];
        for (int n = 1; n <= kDisplays; ++n) {
            {
                auto focus = pictures[n - 1]->lockFocus();
            }
            device.showImage(pictures[n - 1], n);
        }
        device.waitUntilIdle(10s);
    }
    const auto written = device.statistics().pictureWrites - writesBefore;
    if (written != quint64(state.iterations()) * kDisplays)
        state.SkipWithError("not every picture was written");
    state.counters["pictures_per_round"] = kDisplays;
    state.SetItemsProcessed(state.iterations() * kDisplays);
}
BENCHMARK(BM_Show114ChangedPictures)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same pictures again: each one is encoded from the cache and found identical to what its
// display shows, so nothing is written.
void BM_Show114UnchangedPictures(benchmark::State &state)
{
    QTemporaryDir dir(memoryFolder());
    SimulatedVolume volume(dir.filePath(QStringLiteral("keyboard")));
    if (!volume.create(QByteArray())) {
        state.SkipWithError("cannot create the simulated volume");
        return;
    }
    KDKeyboardDevice::Environment environment;
    environment.volumes = std::make_unique<SimulatedVolumeMonitor>(volume.root());
    environment.preferencesFile = dir.filePath(QStringLiteral("preferences.plist"));
    environment.scancodeResource = dir.filePath(QStringLiteral("scancode.sys"));
    environment.timing.afterFileWrite = 0ms;
    environment.timing.afterScancodes = 0ms;
    KDKeyboardDevice device(std::move(environment));
    const auto pictures = pictureSet(3);
    for (int n = 1; n <= kDisplays; ++n)
        device.showImage(pictures[n - 1], n);
    device.waitUntilIdle(10s);
    for (auto _ : state) {
        for (int n = 1; n <= kDisplays; ++n)
            device.showImage(pictures[n - 1], n);
        device.waitUntilIdle(10s);
    }
    state.SetItemsProcessed(state.iterations() * kDisplays);
}
BENCHMARK(BM_Show114UnchangedPictures)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
