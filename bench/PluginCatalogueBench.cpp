// The configurator's plugin catalogue: scanning 50 bundles, each with code of its own, as at
// start-up (target: below 200 ms).
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "KCPluginManager.h"
#include "PropertyList.h"

using namespace brevona;

namespace {

constexpr int Bundles = 50;

// Copies of the clock sample, each under its own identifier and signature.
struct GeneratedPlugins
{
    QTemporaryDir dir;
    bool ready = make();

    bool make()
    {
        const QString sample =
            QStringLiteral(BREVONA_SAMPLE_PLUGIN_DIR) + QStringLiteral("/Clock.plugin/Contents");
        auto info = PropertyList::readDictionary(sample + QStringLiteral("/Info.plist"));
        if (!info)
            return false;
        const QString executable = info->value(QStringLiteral("CFBundleExecutable")).toString();
        for (int i = 0; i < Bundles; ++i) {
            const QString contents = dir.filePath(QStringLiteral("Clock%1.plugin/Contents").arg(i));
            QVariantMap copy = *info;
            copy.insert(QStringLiteral("CFBundleIdentifier"), QStringLiteral("bench.clock%1").arg(i));
            copy.insert(QStringLiteral("KCDisplayPlugins"),
                        QVariantMap{{QStringLiteral("bench.display.clock%1").arg(i),
                                     QVariantMap{{QStringLiteral("DisplayName"),
                                                  QStringLiteral("Clock %1").arg(i)}}}});
            const QString library = QStringLiteral("/Linux/%1.so").arg(executable);
            if (!QDir().mkpath(contents + QStringLiteral("/Linux")) ||
                !PropertyList::writeFile(contents + QStringLiteral("/Info.plist"), copy) ||
                !QFile::copy(sample + library, contents + library))
                return false;
        }
        return true;
    }
};

void BM_ScanFiftyBundles(benchmark::State &state)
{
    static GeneratedPlugins plugins;
    if (!plugins.ready) {
        state.SkipWithError("the clock sample plugin is not built");
        return;
    }
    for (auto _ : state) {
        const KCPluginManager catalogue({plugins.dir.path()});
        if (catalogue.allBundlesIDs().size() != Bundles) {
            state.SkipWithError("not every bundle was catalogued");
            return;
        }
    }
}
BENCHMARK(BM_ScanFiftyBundles)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
