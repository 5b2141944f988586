#include "SystemdDriverLauncher.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

namespace brevona {

namespace {

Q_LOGGING_CATEGORY(lcLauncher, "brevona.platform.launcher")

constexpr int SystemctlTimeoutMs = 10000;

// Runs systemctl for the user's manager; true when it ran and succeeded.
bool systemctl(const QStringList &arguments, bool quiet = false)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (program.isEmpty())
        return false;
    QProcess process;
    process.setProgram(program);
    process.setArguments(QStringList{QStringLiteral("--user")} + arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForFinished(SystemctlTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        qCWarning(lcLauncher).noquote() << "systemctl --user" << arguments.join(u' ') << "did not finish";
        return false;
    }
    const bool ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok && !quiet)
        qCWarning(lcLauncher).noquote()
            << "systemctl --user" << arguments.join(u' ')
            << "failed:" << QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return ok;
}

} // namespace

bool SystemdDriverLauncher::hasUserUnit(const QString &unit)
{
    return systemctl({QStringLiteral("cat"), QStringLiteral("--"), unit}, true);
}

bool SystemdDriverLauncher::startUserUnit(const QString &unit)
{
    return systemctl({QStringLiteral("start"), QStringLiteral("--no-block"), QStringLiteral("--"), unit});
}

bool SystemdDriverLauncher::stopUserUnit(const QString &unit)
{
    return systemctl({QStringLiteral("stop"), QStringLiteral("--"), unit});
}

bool SystemdDriverLauncher::startProgram(const QString &program)
{
    if (!QProcess::startDetached(program, {})) {
        qCWarning(lcLauncher).noquote() << "Cannot start" << program;
        return false;
    }
    return true;
}

} // namespace brevona
