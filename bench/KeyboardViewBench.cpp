// The configurator's keyboard view, offscreen: from a new picture until the view's window holds
// the repainted keys, for one key (a plugin's clock ticking) and for a whole layer (switching
// layers). The argument is the view's width in points; 1312 shows one image pixel per point.
#include <QApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "KCKeyboardView.h"
#include "KCSingleLayer.h"

using namespace brevona;

namespace {

// Counts what reaches the view's paint events, so a run that painted nothing shows.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

QImage keyPicture(const QString &name, QColor colour)
{
    QImage picture(48, 48, QImage::Format_ARGB32_Premultiplied);
    picture.fill(colour);
    QPainter painter(&picture);
    painter.setPen(Qt::white);
    painter.drawText(picture.rect(), Qt::AlignCenter, name);
    return picture;
}

// A layer with a picture on every key.
std::shared_ptr<KCSingleLayer> fullLayer(const KeyboardGeometry &geometry, QColor colour)
{
    auto layer = KCSingleLayer::create();
    for (const KeyboardGeometry::Key &key : geometry.keys()) {
        layer->createButton(key.name);
        layer->setImage(keyPicture(key.name, colour), key.name);
    }
    return layer;
}

struct ShownView
{
    explicit ShownView(int width)
    {
        view.resize(width, view.heightForWidth(width));
        view.installEventFilter(&counter);
        view.show();
        QApplication::processEvents();
    }
    KCKeyboardView view{nullptr};
    PaintCounter counter;
};

void BM_RepaintAfterOneKeyPicture(benchmark::State &state)
{
    ShownView shown(int(state.range(0)));
    const auto layer = fullLayer(shown.view.geometry(), QColor(40, 90, 160));
    shown.view.showLayer(*layer);
    QApplication::processEvents();
    const QImage pictures[2] = {keyPicture(QStringLiteral("12:00"), Qt::darkGreen),
                                keyPicture(QStringLiteral("12:01"), Qt::darkRed)};
    shown.counter.paints = 0;
    int tick = 0;
    for (auto _ : state) {
        shown.view.setImage(pictures[++tick % 2], QStringLiteral("App0"));
        QApplication::processEvents();
    }
    state.counters["paints_per_change"] = double(shown.counter.paints) / double(state.iterations());
}

void BM_RepaintAfterWholeLayer(benchmark::State &state)
{
    ShownView shown(int(state.range(0)));
    const std::shared_ptr<KCSingleLayer> layers[2] = {fullLayer(shown.view.geometry(), QColor(40, 90, 160)),
                                                      fullLayer(shown.view.geometry(), QColor(160, 60, 40))};
    shown.counter.paints = 0;
    int tick = 0;
    for (auto _ : state) {
        shown.view.showLayer(*layers[++tick % 2]);
        QApplication::processEvents();
    }
    state.counters["paints_per_change"] = double(shown.counter.paints) / double(state.iterations());
}

BENCHMARK(BM_RepaintAfterOneKeyPicture)->Arg(1312)->Arg(984)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintAfterWholeLayer)->Arg(1312)->Arg(984)->Unit(benchmark::kMillisecond);

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
