#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include "SendCommandLine.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brevona-send"));
    // Only failures reach the terminal; the outcome is the exit status.
    QLoggingCategory::setFilterRules(QStringLiteral("brevona.*.debug=false\nbrevona.*.info=false"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return brevona::SendCommandLine::run(arguments, out, err);
}
