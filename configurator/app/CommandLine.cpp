#include "CommandLine.h"

#include <QCommandLineParser>

namespace brevona {

CommandLine::Result CommandLine::parse(const QStringList &arguments, const QString &version)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Edits the layers of the keyboard's key displays. Files are layer archives (.layers) "
                       "or 1312 x 376 pictures, each opened as a new layer; when the configurator is "
                       "already running, they are handed to it."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Layer archives or pictures to open."),
                                 QStringLiteral("[files...]"));
    if (!parser.parse(arguments))
        return {Action::Invalid, {}, parser.errorText() + QStringLiteral("\nTry --help.\n")};
    if (parser.isSet(help))
        return {Action::Print, {}, parser.helpText()};
    if (parser.isSet(versionOption))
        return {Action::Print, {}, QStringLiteral("brevona-configurator %1\n").arg(version)};
    return {Action::Run, parser.positionalArguments(), QString()};
}

} // namespace brevona
