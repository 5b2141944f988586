// Renders the configurator's keyboard view of one layer of a store into a PNG, without a screen:
// for the documentation and for looking at the view while working on it.
// Usage: brevona-keyboard-view-shot <store folder> <layer id> <out.png> [width] [selected key...]
#include <cstdio>

#include <QApplication>
#include <QImage>

#include "KCKeyboardView.h"
#include "KCLayerManager.h"
#include "KCSingleLayer.h"

using namespace brevona;

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 4) {
        std::fputs("usage: brevona-keyboard-view-shot <store folder> <layer id> <out.png> [width] [key...]\n",
                   stderr);
        return 2;
    }
    KCLayerManager manager(arguments[1], nullptr, nullptr, nullptr);
    if (manager.startup({}, nullptr, 0) != KCLayerManager::Outcome::Done) {
        std::fprintf(stderr, "brevona-keyboard-view-shot: %s is no layer store\n", qPrintable(arguments[1]));
        return 1;
    }
    const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(manager.findLayerByID(arguments[2]));
    if (!layer) {
        std::fprintf(stderr, "brevona-keyboard-view-shot: no layer %s\n", qPrintable(arguments[2]));
        return 1;
    }
    layer->ensureImageRestored();
    KCKeyboardView view(nullptr);
    const int width = arguments.size() > 4 ? arguments[4].toInt() : view.keyboardImageSize().width();
    if (width <= 0) {
        std::fprintf(stderr, "brevona-keyboard-view-shot: bad width %s\n", qPrintable(arguments[4]));
        return 2;
    }
    view.resize(width, view.heightForWidth(width));
    view.showLayer(*layer);
    for (qsizetype i = 5; i < arguments.size(); ++i)
        view.selectButtonNamed(arguments[i], true);
    if (!view.grab().toImage().save(arguments[3])) {
        std::fprintf(stderr, "brevona-keyboard-view-shot: cannot write %s\n", qPrintable(arguments[3]));
        return 1;
    }
    return 0;
}
