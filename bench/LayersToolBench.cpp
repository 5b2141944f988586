// brevona-layers as a script sees it: the whole process, from start to its listing of a store of
// 100 layers (ten groups of ten, each layer with a picture and two keys).
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "StoreBuilder.h"

namespace {

void makeStore(const QString &root)
{
    using brevona::test::StoreBuilder;
    const QVariantMap layer{
        {QStringLiteral("Buttons"), StoreBuilder::buttons({QStringLiteral("A"), QStringLiteral("B")})},
        {QStringLiteral("DisplayName"), QStringLiteral("bench")}};
    StoreBuilder(root).groupedLayers(
        10, 10, layer,
        StoreBuilder::layerPicture({{QStringLiteral("A"), Qt::red}, {QStringLiteral("B"), Qt::blue}}));
}

int runTool(const QProcessEnvironment &environment, const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(QStringLiteral(BREVONA_LAYERS_EXECUTABLE), arguments);
    tool.waitForFinished(60000);
    tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

void BM_ListHundredLayersAsAProcess(benchmark::State &state)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("BREVONA_RESOURCE_DIR"), QStringLiteral(BREVONA_RESOURCE_DIR));
    // No driver and no bus: only the tool's own work is measured.
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    makeStore(home.filePath(QStringLiteral("data/Lumivox/Layers")));
    // The first run writes the background layers once, as the configurator's first start would.
    if (runTool(environment, {QStringLiteral("repair")}) != 0) {
        state.SkipWithError("brevona-layers repair failed");
        return;
    }
    for (auto _ : state) {
        if (runTool(environment, {QStringLiteral("list")}) != 0) {
            state.SkipWithError("brevona-layers list failed");
            return;
        }
    }
}
BENCHMARK(BM_ListHundredLayersAsAProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
