// The configurator's window, offscreen, on a store of 100 layers (10 groups of 10, each layer with
// keys), on the session bus (run under dbus-run-session):
// - BM_StartupToWindowShown: the program's start-up as brevona-configurator runs it, from its
//   command line to the main window exposed (target: below 1.5 s);
// - BM_SwitchClickToBus: a mouse click on a layer's switch until the driver's endpoint (a
//   stand-in that owns the driver's name) has received "LayerVisibilityChanged" (target: below
//   20 ms).
#include <chrono>
#include <memory>

#include <QApplication>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "AppController.h"
#include "ApplicationsHelper.h"
#include "ConfiguratorProgram.h"
#include "FakeDriver.h"
#include "FakeDriverLauncher.h"
#include "KCGroupLayer.h"
#include "LayerListModel.h"
#include "LayerListView.h"
#include "LanguagesHelper.h"
#include "MainWindow.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "StoreBuilder.h"
#include "TestHome.h"

using namespace brevona;

namespace {

// One home with the 100-layer store for the whole program; the configurator never launches a
// driver here ("QuietMode").
struct Home
{
    Home()
    {
        test::StoreBuilder store(home.dataHome() + "/Lumivox/Layers");
        const QVariantMap plist{{"Buttons", test::StoreBuilder::buttons({"A", "S", "D", "F", "App0"})}};
        store.groupedLayers(10, 10, plist,
                            test::StoreBuilder::layerPicture({{"A", Qt::red}, {"App0", Qt::blue}}));
        PreferencesStore::shared().setValue(PreferenceKeys::QuietMode, true);
    }
    test::TestHome home;
};

Home &home()
{
    static Home instance;
    return instance;
}

void BM_StartupToWindowShown(benchmark::State &state)
{
    home();
    for (auto _ : state) {
        auto program = std::make_unique<ConfiguratorProgram>();
        if (program->start({QStringLiteral("brevona-configurator")}) || !program->window()) {
            state.SkipWithError("the configurator did not start");
            return;
        }
        if (!QTest::qWaitForWindowExposed(program->window(), 10000)) {
            state.SkipWithError("the window was not shown");
            return;
        }
        state.PauseTiming();
        program.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupToWindowShown)->Unit(benchmark::kMillisecond)->Iterations(10);

// Runs the event loop until `done`, waking for each event rather than polling, so the time
// measured is the program's and not a poll interval's.
template<typename Predicate> bool spinUntil(Predicate done)
{
    QTimer limit;
    limit.setSingleShot(true);
    limit.start(5000);
    while (!done() && limit.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// Where the style draws the switch of a row.
QPoint switchOf(LayerListView &list, const QModelIndex &index)
{
    QStyleOptionViewItem option;
    option.initFrom(&list);
    option.rect = list.visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay |
                      QStyleOptionViewItem::HasDecoration;
    option.decorationSize = list.iconSize();
    option.text = index.data().toString();
    return list.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &list).center();
}

void BM_SwitchClickToBus(benchmark::State &state)
{
    home();
    test::FakeDriver driver(QStringLiteral("bench-driver"));
    if (!driver.isConnected() || !driver.own()) {
        state.SkipWithError("no session bus, or a driver owns its name: run under dbus-run-session");
        return;
    }
    FakeDriverLauncher launcher;
    AppController::Environment env = AppController::installedEnvironment();
    AppController controller(env, PreferencesStore::shared(), launcher);
    MainWindow window(controller, PreferencesStore::shared(), ApplicationsHelper::shared(),
                      LanguagesHelper::shared());
    window.showStartResult(controller.start());
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) || !controller.driverLink().setupDriverConnection()) {
        state.SkipWithError("no window or no link to the stand-in driver");
        return;
    }
    LayerListView &list = *window.layerList();
    // The store's groups start collapsed: the first one opens, as a user would open it.
    const auto first = controller.layerManager().rootGroup()->layers().front();
    list.expand(window.layerModel()->indexOf(first->UUID()));
    QCoreApplication::processEvents();
    for (auto _ : state) {
        // The group's first layer; the row is found again after each refresh.
        const auto group =
            std::static_pointer_cast<KCGroupLayer>(controller.layerManager().rootGroup()->layers().front());
        const QModelIndex index = window.layerModel()->indexOf(group->layers().front()->UUID());
        const qsizetype before = driver.received().size();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, switchOf(list, index));
        if (!spinUntil([&] { return driver.received().size() > before; })) {
            state.SkipWithError("the command did not arrive");
            return;
        }
        if (driver.received().back().name != QLatin1String("LayerVisibilityChanged")) {
            state.SkipWithError("another command arrived");
            return;
        }
    }
}
BENCHMARK(BM_SwitchClickToBus)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BREVONA_RESOURCE_DIR", BREVONA_RESOURCE_DIR);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
