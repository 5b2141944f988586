// Layer archives: the export of 20 layers (every key drawn, full pictures) and the import of the
// same archive, and the peak memory while hostile archives (a bomb of 256 MiB, a picture header claiming
// 100000 x 100000 pixels) are refused.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QUndoStack>

#include <benchmark/benchmark.h>

#include "ArchiveBuilder.h"
#include "KCImportExportManager.h"
#include "KCLayerManager.h"
#include "KeyboardData.h"
#include "StoreBuilder.h"

using namespace brevona;

namespace {

// 2 groups of 10 layers; every key of every layer has a picture of its own colour and a stripe.
struct GeneratedStore
{
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("Lumivox/Layers"));
    std::unique_ptr<KCLayerManager> manager;

    GeneratedStore()
    {
        qputenv("XDG_DATA_HOME", dir.path().toUtf8());
        test::StoreBuilder store(root);
        QImage picture(1312, 376, QImage::Format_RGB32);
        picture.fill(Qt::black);
        QPainter painter(&picture);
        int hue = 0;
        for (const KeyboardData::Key &key : KeyboardData::shared().keys()) {
            painter.fillRect(key.cell(), QColor::fromHsv(hue, 200, 220));
            painter.fillRect(key.cell().adjusted(8, 20, -8, -20), Qt::white);
            hue = (hue + 37) % 360;
        }
        painter.end();
        const QVariantMap layer{
            {"DisplayName", "bench"},
            {"Buttons", test::StoreBuilder::buttons(test::StoreBuilder::allKeys())},
            {"Conditions", QVariantList{test::StoreBuilder::application("org.gimp.GIMP", "isActive")}}};
        store.groupedLayers(2, 10, layer, picture);
        manager = std::make_unique<KCLayerManager>(root, nullptr, nullptr, nullptr);
        manager->startup({}, nullptr, 0);
    }
    QStringList groups() const { return {QStringLiteral("G0"), QStringLiteral("G1")}; }
    QString archive() const { return dir.filePath(QStringLiteral("twenty.layers")); }
};

GeneratedStore &generated()
{
    static GeneratedStore store;
    return store;
}

// The process's peak resident memory since the last reset, in MiB.
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void BM_ImportHostileArchives(benchmark::State &state)
{
    GeneratedStore &store = generated();
    const QByteArray description = "<?xml version=\"1.0\"?><layers><layer name=\"x\" "
                                   "image=\"000.tiff\"><button name=\"A\"/></layer></layers>";
    QByteArray tiff("II*\0\x08\0\0\0\x02\0", 10);
    for (const quint16 tag : {quint16(256), quint16(257)}) {
        tiff.append(char(tag & 0xFF)).append(char(tag >> 8)).append("\x04\0\x01\0\0\0\xA0\x86\x01\0", 10);
    }
    tiff.append(QByteArray(4, '\0'));
    const QString bomb = store.dir.filePath(QStringLiteral("bomb.layers"));
    const QString huge = store.dir.filePath(QStringLiteral("huge.layers"));
    for (const auto &[path, entries] :
         {std::pair{bomb, QList<test::ArchiveEntry>{{"Layers.xml", description},
                                                    {"000.tiff", QByteArray(256 * 1024 * 1024, '\0')}}},
          std::pair{huge, QList<test::ArchiveEntry>{{"Layers.xml", description}, {"000.tiff", tiff}}}}) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(test::zipOf(entries)) <= 0) {
            state.SkipWithError("the hostile archives were not written");
            return;
        }
    }
    KCImportExportManager exchange(*store.manager);
    resetPeak();
    const double before = peakMiB();
    for (auto _ : state) {
        if (exchange.importLayersFile(bomb) || exchange.importLayersFile(huge))
            state.SkipWithError("a hostile archive was imported");
    }
    state.counters["peak_MiB"] = peakMiB();
    state.counters["peak_growth_MiB"] = peakMiB() - before;
}
// First, so that the peak is the store's and the refusals', not the imports' below.
BENCHMARK(BM_ImportHostileArchives)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ExportTwentyLayers(benchmark::State &state)
{
    GeneratedStore &store = generated();
    KCImportExportManager exchange(*store.manager);
    for (auto _ : state) {
        const auto written = exchange.exportLayers(store.groups(), store.archive());
        if (!written)
            state.SkipWithError(qPrintable(written.error()));
    }
    state.counters["archive_KiB"] = static_cast<double>(QFile(store.archive()).size()) / 1024.0;
}
BENCHMARK(BM_ExportTwentyLayers)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImportTwentyLayers(benchmark::State &state)
{
    GeneratedStore &store = generated();
    KCImportExportManager exchange(*store.manager);
    if (!QFile::exists(store.archive()) && !exchange.exportLayers(store.groups(), store.archive())) {
        state.SkipWithError("the archive was not written");
        return;
    }
    for (auto _ : state) {
        const auto report = exchange.importLayersFile(store.archive());
        if (!report || report->layers != 20)
            state.SkipWithError("the archive did not import");
        state.PauseTiming();
        store.manager->undo();
        store.manager->undoStack()->clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportTwentyLayers)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
