// Layer archives from anywhere fed to the import: the ZIP container, "Layers.xml" and the
// pictures, through the same entry the window and brevona-layers use. Nothing may crash, hang or
// leak; an archive that imports is taken back at once so the store stays small.
//
// Inputs starting with "LX" are not archives but the parts of one: the description and two
// pictures, packed here, so that mutations reach the description and picture readers past the
// archive's checksums.
#include <cstddef>
#include <cstdint>
#include <memory>

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QUndoStack>

#include "KCImportExportManager.h"
#include "KCLayerManager.h"
#include "LayerArchiveWriter.h"
#include "StoreBuilder.h"
#include "TestHome.h"

using namespace brevona;

namespace {

struct World
{
    std::unique_ptr<QGuiApplication> app;
    std::unique_ptr<test::TestHome> home;
    std::unique_ptr<KCLayerManager> manager;
    std::unique_ptr<KCImportExportManager> exchange;
};

// Never destroyed: the application and the manager outlive every input.
World &world()
{
    static World *w = new World;
    return *w;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    World &w = world();
    w.home = std::make_unique<test::TestHome>();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BREVONA_RESOURCE_DIR", BREVONA_RESOURCE_DIR);
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    w.app = std::make_unique<QGuiApplication>(*argc, *argv);

    const QString root = w.home->dataHome() + "/Lumivox/Layers";
    test::StoreBuilder(root).group(QString(), {});
    w.manager = std::make_unique<KCLayerManager>(root, nullptr, nullptr, nullptr);
    if (w.manager->startup({}, nullptr, 0) != KCLayerManager::Outcome::Done)
        abort();
    // Smaller limits than the configurator's: the same checks, reached with shorter inputs.
    KCImportExportManager::Limits limits;
    limits.archive.archiveBytes = 1 << 20;
    limits.archive.entries = 64;
    limits.archive.totalBytes = 16 << 20;
    limits.pictureBytes = 8 << 20;
    limits.description.bytes = 256 << 10;
    limits.description.layers = 8;
    w.exchange = std::make_unique<KCImportExportManager>(*w.manager, limits);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    World &w = world();
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (bytes.startsWith("LX")) {
        FuzzedDataProvider parts(data + 2, size - 2);
        LayerArchiveWriter archive;
        const std::string description = parts.ConsumeRandomLengthString(size);
        const std::string first = parts.ConsumeRandomLengthString(size);
        const std::string second = parts.ConsumeRemainingBytesAsString();
        archive.add(QStringLiteral("Layers.xml"), QByteArray::fromStdString(description));
        archive.add(QStringLiteral("000.tiff"), QByteArray::fromStdString(first));
        archive.add(QStringLiteral("001.tiff"), QByteArray::fromStdString(second));
        const auto packed = archive.archive();
        if (!packed)
            return 0;
        bytes = *packed;
    }
    const auto report = w.exchange->importLayersData(bytes);
    if (report) {
        // The whole import is one step; taking it back and dropping it removes its folders.
        w.manager->undo();
        w.manager->undoStack()->clear();
    }
    return 0;
}
