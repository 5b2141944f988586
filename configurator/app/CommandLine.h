#pragma once

#include <QString>
#include <QStringList>

namespace brevona {

// The configurator's command line: files to open, --help and --version.
class CommandLine
{
public:
    enum class Action
    {
        Run,     // start (or hand `files` to the running configurator)
        Print,   // print `text` to standard output and exit 0 (--help, --version)
        Invalid, // print `text` to standard error and exit 2
    };

    struct Result
    {
        Action action = Action::Run;
        QStringList files;
        QString text;
    };

    // `arguments` as main() gets them, the program name first.
    static Result parse(const QStringList &arguments, const QString &version);
};

} // namespace brevona
