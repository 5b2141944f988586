#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include "SendCommandLine.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brevona-send"));
    // The outcome is the exit status and, on failure, one line of its own on standard error.
    QLoggingCategory::setFilterRules(QStringLiteral("brevona.*=false"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return brevona::SendCommandLine::run(arguments, out, err);
}
