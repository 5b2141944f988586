// Opening a key's plugin settings view: from the bundle's Designer file to the view shown with
// the key's values (target: below 50 ms). The clock sample's view, offscreen.
#include <QApplication>

#include <benchmark/benchmark.h>

#include "KCSettingsProxy.h"
#include "PluginSettingsView.h"

using namespace brevona;

namespace {

// The key's stored settings, and the defaults an instance would give.
struct Delegate : KCSettingsProxyDelegate
{
    QVariant currentValueForSetting(const QString &, const QString &) override { return {}; }
    void updatePluginSettings(const QString &, const QVariantMap &) override {}
};

void BM_OpenClockSettingsView(benchmark::State &state)
{
    const QString signature = QStringLiteral("brevona.display.general.clock");
    const QString file = QStringLiteral(BREVONA_SAMPLE_PLUGIN_DIR) +
                         QStringLiteral("/Clock.plugin/Contents/Resources/%1.ui").arg(signature);
    Delegate delegate;
    KCSettingsProxy proxy(signature, delegate);
    proxy.setSettings({{QStringLiteral("color"), QStringLiteral("#ff3030")}});
    for (auto _ : state) {
        PluginSettingsView view(file, &proxy);
        view.show();
        QApplication::processEvents();
        if (!view.isLoaded() || view.bindingCount() == 0) {
            state.SkipWithError("the clock's settings view did not load");
            return;
        }
    }
}
BENCHMARK(BM_OpenClockSettingsView)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
