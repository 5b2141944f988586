#include <QCommandLineParser>
#include <QGuiApplication>
#include <QLoggingCategory>

#include "DriverApplication.h"

int main(int argc, char *argv[])
{
    // Pictures are drawn and encoded without a screen; the driver never opens a window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("BrevonaDriver"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BREVONA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Background program of the Brevona keyboard: composes the visible layers of the layer store into "
        "one\n"
        "picture per key, writes them to the keyboard and runs key actions. Commands arrive on the session\n"
        "bus as brevona.kettlewood.com.server. Set BREVONA_SIMULATED_KEYBOARD to a folder to drive a\n"
        "simulated keyboard."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Log every command, composition and device write."));
    parser.addOption(verbose);
    parser.process(app);

    QLoggingCategory::setFilterRules(parser.isSet(verbose) ? QStringLiteral("brevona.*.debug=true")
                                                           : QStringLiteral("brevona.*.debug=false"));
    qSetMessagePattern(QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{category}: %{message}"));

    brevona::DriverApplication driver;
    if (!driver.start())
        return 1;
    return app.exec();
}
