// The configurator's layer model: drawing every key picture of a language layer for one modifier
// key (with the system's XKB layouts), and cutting a stored 1312 x 376 layer picture into its 114
// key pictures.
#include <memory>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "KCLanguageLayer.h"
#include "KCSingleLayer.h"
#include "KeyboardData.h"
#include "KeyboardLayouts.h"
#include "LanguageKeyTranslator.h"
#include "LayerPicture.h"
#include "LayerPictureWriter.h"
#include "StoreNames.h"

using namespace brevona;

namespace {

std::shared_ptr<const KeyTranslator> translator()
{
    static const auto shared = std::make_shared<LanguageKeyTranslator>(KeyboardLayouts::instance());
    return shared;
}

void BM_LanguageLayerAllKeysOneModifierKey(benchmark::State &state)
{
    const QString modifierKey = KCLanguageLayer::ModifierKeys.at(static_cast<int>(state.range(0)));
    // The layout's keymap is compiled once per process; that is not what is measured.
    KCLanguageLayer::newLayerWithID(QStringLiteral("de"), translator())
        ->layerImageForModifierKey(modifierKey);
    int keys = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto layer = KCLanguageLayer::newLayerWithID(QStringLiteral("de"), translator());
        keys = static_cast<int>(layer->buttonNames().size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(layer->layerImageForModifierKey(modifierKey));
        state.PauseTiming();
        layer.reset();
        state.ResumeTiming();
    }
    state.counters["keys"] = keys;
    state.SetLabel(modifierKey.isEmpty() ? "None" : modifierKey.toStdString());
}
BENCHMARK(BM_LanguageLayerAllKeysOneModifierKey)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

QImage storedPicture()
{
    QImage picture(LayerPicture::Width, LayerPicture::Height, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    for (const auto &key : KeyboardData::shared().keys())
        painter.fillRect(key.cell(), QColor::fromHsv((key.display * 7) % 360, 200, 220));
    return picture;
}

std::shared_ptr<KCSingleLayer> layerWithAllKeys()
{
    auto layer = KCSingleLayer::create();
    QVariantMap buttons;
    for (const auto &key : KeyboardData::shared().keys()) {
        if (key.display)
            buttons.insert(key.name, QVariantMap());
    }
    layer->setButtonsInfo(buttons);
    return layer;
}

void BM_CutLayerPictureInto114Keys(benchmark::State &state)
{
    const QImage picture = storedPicture();
    const auto layer = layerWithAllKeys();
    for (auto _ : state)
        layer->setLayerImage(picture);
    state.counters["keys"] = layer->numberOfButtons();
}
BENCHMARK(BM_CutLayerPictureInto114Keys)->Unit(benchmark::kMillisecond);

// For comparison: the whole restore of a stored picture, reading the LZW TIFF included.
void BM_RestoreStoredPictureFromTiff(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(storenames::PictureFile);
    LayerPictureWriter::writeTiff(path, storedPicture());
    for (auto _ : state) {
        state.PauseTiming();
        const auto layer = layerWithAllKeys();
        layer->setLayerImageCachePath(path);
        state.ResumeTiming();
        layer->ensureImageRestored();
    }
}
BENCHMARK(BM_RestoreStoredPictureFromTiff)->Unit(benchmark::kMillisecond);

void BM_ComposeLayerPicture(benchmark::State &state)
{
    const auto layer = layerWithAllKeys();
    layer->setLayerImage(storedPicture());
    for (auto _ : state)
        benchmark::DoNotOptimize(layer->layerImage());
}
BENCHMARK(BM_ComposeLayerPicture)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The language layers read and create their attribute folders under the data home.
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
