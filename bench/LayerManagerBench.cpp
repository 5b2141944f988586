// The configurator's layer manager: loading a store of 100 layers with their pictures left for
// later, and one switch from the model call until its command leaves with the files written.
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "DriverCommandSink.h"
#include "KCLayerManager.h"
#include "StoreBuilder.h"

using namespace brevona;

namespace {

// 10 groups of 10 layers, each with a full picture and a dozen keys.
struct GeneratedStore
{
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("Lumivox/Layers"));

    GeneratedStore()
    {
        qputenv("XDG_DATA_HOME", dir.path().toUtf8());
        test::StoreBuilder store(root);
        QImage picture(1312, 376, QImage::Format_RGB32);
        picture.fill(QColor(40, 90, 160));
        const QStringList keys{"App0", "App1", "App2", "App3", "App4",   "App5",
                               "App6", "App7", "App8", "App9", "Escape", "Tab"};
        const QVariantMap layer{{"DisplayName", "bench"},
                                {"Buttons", test::StoreBuilder::buttons(keys)},
                                {"Conditions", QVariantList{}}};
        store.groupedLayers(10, 10, layer, picture);
    }
};

GeneratedStore &generated()
{
    static GeneratedStore store;
    return store;
}

struct CountingSink final : DriverCommandSink
{
    int sent = 0;
    void sendCommand(const QString &, const QVariantMap &) override { ++sent; }
};

void BM_LoadStoreOf100Layers(benchmark::State &state)
{
    GeneratedStore &store = generated();
    for (auto _ : state) {
        KCLayerManager manager(store.root, nullptr, nullptr, nullptr);
        if (manager.startup({}, nullptr, 0) != KCLayerManager::Outcome::Done)
            state.SkipWithError("the store did not load");
        benchmark::DoNotOptimize(manager.rootGroup());
    }
}
BENCHMARK(BM_LoadStoreOf100Layers)->Unit(benchmark::kMillisecond);

void BM_ToggleUntilCommandSent(benchmark::State &state)
{
    GeneratedStore &store = generated();
    CountingSink sink;
    KCLayerManager manager(store.root, &sink, nullptr, nullptr);
    manager.startup({}, nullptr, 0);
    bool enabled = false;
    for (auto _ : state) {
        if (manager.toggleLayer(QStringLiteral("L4_5"), enabled) != KCLayerManager::Outcome::Done)
            state.SkipWithError("the toggle failed");
        enabled = !enabled;
    }
    state.counters["commands"] = sink.sent;
}
BENCHMARK(BM_ToggleUntilCommandSent)->Unit(benchmark::kMillisecond);

} // namespace
