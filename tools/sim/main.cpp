// brevona-sim: the keyboard simulator and viewer.

#include <memory>

#include <QApplication>
#include <QGuiApplication>
#include <QTextStream>

#include "SimCommandLine.h"

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    std::unique_ptr<QCoreApplication> app;
    if (brevona::SimCommandLine::wantsWindow(arguments)) {
        app = std::make_unique<QApplication>(argc, argv);
    } else if (!brevona::SimCommandLine::wantsPictures(arguments)) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        // Drawing pictures needs no screen; this keeps create and render working over ssh and in CI.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    return brevona::SimCommandLine::run(arguments, out, err);
}
