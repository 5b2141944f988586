#include <algorithm>

#include <QGuiApplication>

#include "LayersCommandLine.h"

int main(int argc, char *argv[])
{
    // Pictures are drawn with Qt Gui, but no window is ever shown: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!std::any_of(argv + 1, argv + argc,
                     [](const char *argument) { return qstrcmp(argument, "--verbose") == 0; }))
        brevona::LayersCommandLine::quietLog();
    QGuiApplication app(argc, argv);
    QStringList arguments = QGuiApplication::arguments();
    arguments.removeFirst();
    return brevona::LayersCommandLine().run(arguments);
}
