#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "KDLayerManager.h"
#include "StoreBuilder.h"
#include "StoreNames.h"

using namespace brevona;

namespace {

// A store of 50 groups of 10 layers, each layer with a full picture and a dozen keys.
struct GeneratedStore
{
    QTemporaryDir dir;
    test::StoreBuilder store{dir.filePath(QStringLiteral("Layers"))};
    QString blackLayer;

    GeneratedStore()
    {
        QImage picture(storenames::PictureWidth, storenames::PictureHeight, QImage::Format_RGB32);
        picture.fill(QColor(40, 90, 160));
        const QStringList keys{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L"};
        const QVariantMap layer{{"DisplayName", "bench"},
                                {"Buttons", test::StoreBuilder::buttons(keys)},
                                {"Conditions", QVariantList{}}};
        store.groupedLayers(50, 10, layer, picture);
        blackLayer = test::StoreBuilder(dir.path()).layer(storenames::BlackLayerId, layer, picture);
    }
};

void BM_LoadStoreOf500Layers(benchmark::State &state)
{
    static GeneratedStore store;
    for (auto _ : state) {
        KDLayerManager manager(store.store.root(), store.blackLayer);
        benchmark::DoNotOptimize(manager.currentLayer());
    }
}
BENCHMARK(BM_LoadStoreOf500Layers)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
