// Display encoding of a full keyboard: 114 key pictures, with and without the cache.
#include <memory>
#include <vector>

#include <QImage>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include "KCLumivoxImage.h"

using brevona::KCLumivoxImage;

namespace {

constexpr int kDisplays = 114;

std::vector<std::shared_ptr<KCLumivoxImage>> keyboardPictures()
{
    std::vector<std::shared_ptr<KCLumivoxImage>> pictures;
    QRandomGenerator random(114);
    for (int n = 0; n < kDisplays; ++n) {
        QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 48; ++x)
                image.setPixel(x, y, 0xFF000000u | (random.generate() & 0xFFFFFFu));
        }
        pictures.push_back(KCLumivoxImage::create(image));
    }
    return pictures;
}

// Every picture drawn into since its last encoding: the cache is invalid each time.
void BM_Encode114Uncached(benchmark::State &state)
{
    const bool turned = state.range(0) != 0;
    auto pictures = keyboardPictures();
    for (auto _ : state) {
        for (auto &picture : pictures) {
            {
                auto focus = picture->lockFocus();
            }
            benchmark::DoNotOptimize(picture->oledData(turned));
        }
    }
    state.SetItemsProcessed(state.iterations() * kDisplays);
}
BENCHMARK(BM_Encode114Uncached)->Arg(0)->Arg(1)->ArgName("turned");

void BM_Encode114Cached(benchmark::State &state)
{
    auto pictures = keyboardPictures();
    for (auto &picture : pictures)
        picture->oledData(false);
    for (auto _ : state) {
        for (auto &picture : pictures)
            benchmark::DoNotOptimize(picture->oledData(false));
    }
    state.SetItemsProcessed(state.iterations() * kDisplays);
}
BENCHMARK(BM_Encode114Cached);

// The packing rule alone, without the picture's lock and cache.
void BM_EncodeRule(benchmark::State &state)
{
    auto pictures = keyboardPictures();
    const QImage image = pictures.front()->image();
    unsigned char out[KCLumivoxImage::OledDataSize];
    for (auto _ : state) {
        KCLumivoxImage::encode(image, state.range(0) != 0, out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeRule)->Arg(0)->Arg(1)->ArgName("turned");

} // namespace
