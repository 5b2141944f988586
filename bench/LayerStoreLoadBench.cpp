#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "KDLayerManager.h"
#include "PropertyList.h"

using namespace brevona;

namespace {

// A store of 50 groups of 10 layers, each layer with a full picture and a dozen keys.
struct GeneratedStore
{
    QTemporaryDir dir;
    QString root;
    QString blackLayer;

    GeneratedStore()
    {
        root = dir.filePath(QStringLiteral("Layers"));
        blackLayer = dir.filePath(QStringLiteral("BlackLayer"));
        QImage picture(1312, 376, QImage::Format_RGB32);
        picture.fill(QColor(40, 90, 160));
        const QStringList keys{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L"};
        QVariantMap buttons;
        for (const QString &key : keys)
            buttons.insert(key, QVariantMap{});
        auto writeLayer = [&](const QString &folder) {
            QDir().mkpath(folder);
            PropertyList::writeFile(folder + QStringLiteral("/Layer.plist"),
                                    QVariantMap{{"DisplayName", "bench"}, {"Buttons", buttons}, {"Conditions", QVariantList{}}});
            QImageWriter writer(folder + QStringLiteral("/Main.tiff"), "tiff");
            writer.setCompression(1);
            writer.write(picture);
        };
        QVariantList rootOrder;
        for (int g = 0; g < 50; ++g) {
            const QString groupId = QStringLiteral("G%1").arg(g);
            rootOrder.append(groupId);
            QVariantList order;
            for (int l = 0; l < 10; ++l) {
                const QString layerId = QStringLiteral("L%1_%2").arg(g).arg(l);
                order.append(layerId);
                writeLayer(root + QLatin1Char('/') + groupId + QLatin1Char('/') + layerId);
            }
            PropertyList::writeFile(root + QLatin1Char('/') + groupId + QStringLiteral("/Group.plist"),
                                    QVariantMap{{"DisplayName", groupId}, {"ItemOrder", order}});
        }
        PropertyList::writeFile(root + QStringLiteral("/Group.plist"),
                                QVariantMap{{"DisplayName", "root"}, {"ItemOrder", rootOrder}});
        writeLayer(blackLayer);
    }
};

void BM_LoadStoreOf500Layers(benchmark::State &state)
{
    static GeneratedStore store;
    for (auto _ : state) {
        KDLayerManager manager(store.root, store.blackLayer);
        benchmark::DoNotOptimize(manager.currentLayer());
    }
}
BENCHMARK(BM_LoadStoreOf500Layers)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The keyboard's data set places each key's cell in the layer picture.
    qputenv("BREVONA_RESOURCE_DIR", BREVONA_RESOURCE_DIR);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
