#include "SystemdDriverLauncher.h"

#include <sys/stat.h>
#include <unistd.h>

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

// A pipe or socket of this process's output (a script reading it) must not be held by a program
// that outlives it: the reader would wait for its end, and the program would die of the broken pipe
// once the reader is gone. A terminal or a log file is shared as before.
bool isPipe(int fd)
{
    struct stat status = {};
    return ::fstat(fd, &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
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
    QProcess process;
    process.setProgram(program);
    process.setStandardInputFile(QProcess::nullDevice());
    if (isPipe(STDOUT_FILENO))
        process.setStandardOutputFile(QProcess::nullDevice());
    if (isPipe(STDERR_FILENO))
        process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        qCWarning(lcLauncher).noquote() << "Cannot start" << program;
        return false;
    }
    return true;
}

} // namespace brevona
