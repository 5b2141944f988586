// brevona-configurator: the editor of the keyboard's layers. Everything lives in the libraries;
// this only makes the application object.
#include <cstdio>

#include <QApplication>

#include "CommandLine.h"
#include "ConfiguratorProgram.h"

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // --help, --version and a bad command line answer without a display.
    const auto line = brevona::CommandLine::parse(arguments, QStringLiteral(BREVONA_VERSION));
    if (line.action != brevona::CommandLine::Action::Run) {
        const bool printed = line.action == brevona::CommandLine::Action::Print;
        std::fputs(qPrintable(line.text), printed ? stdout : stderr);
        return printed ? 0 : 2;
    }
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
