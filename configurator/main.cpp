// brevona-configurator: the editor of the keyboard's layers. Everything lives in the libraries;
// this only makes the application object.
#include <QApplication>

#include "ConfiguratorProgram.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brevona-configurator"));
    QApplication::setApplicationDisplayName(QStringLiteral("Brevona Configurator"));
    QApplication::setApplicationVersion(QStringLiteral(BREVONA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("brevona-configurator"));
    brevona::ConfiguratorProgram program;
    if (const auto status = program.start(QApplication::arguments()))
        return *status;
    return QApplication::exec();
}
