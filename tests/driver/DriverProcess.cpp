#include "DriverProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace brevona::test {

DriverProcess::DriverProcess()
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

DriverProcess::~DriverProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString DriverProcess::executable()
{
    return QStringLiteral(BREVONA_DRIVER_EXECUTABLE);
}

bool DriverProcess::start(const QStringList &arguments)
{
    m_process.start(executable(), arguments);
    return m_process.waitForStarted(5000);
}

void DriverProcess::readOutput()
{
    m_log += QString::fromUtf8(m_process.readAll());
}

QString DriverProcess::log()
{
    readOutput();
    return m_log;
}

int DriverProcess::logCount(const QString &text)
{
    return static_cast<int>(log().count(text));
}

bool DriverProcess::waitForLog(const QString &text, int timeoutMs, int times)
{
    QDeadlineTimer deadline(timeoutMs);
    while (logCount(text) < times) {
        if (deadline.hasExpired())
            return false;
        if (m_process.state() == QProcess::NotRunning)
            return logCount(text) >= times;
        m_process.waitForReadyRead(50);
        QCoreApplication::processEvents();
    }
    return true;
}

bool DriverProcess::waitForExit(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            return false;
        m_process.waitForFinished(50);
        QCoreApplication::processEvents();
    }
    readOutput();
    return true;
}

QStringList DriverProcess::lastComposition()
{
    const QString text = log();
    const QString marker = QStringLiteral("Composition:");
    const qsizetype at = text.lastIndexOf(marker);
    if (at < 0)
        return {};
    const qsizetype end = text.indexOf(QLatin1Char('\n'), at);
    return text.mid(at + marker.size(), end < 0 ? -1 : end - at - marker.size()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool gdbusNotify(const QString &command, const QString &infoText)
{
    QProcess gdbus;
    gdbus.start(QStringLiteral("gdbus"),
                {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                 QStringLiteral("brevona.kettlewood.com.server"), QStringLiteral("--object-path"), QStringLiteral("/"),
                 QStringLiteral("--method"), QStringLiteral("com.kettlewood.Brevona.Server.notify"), command, infoText});
    return gdbus.waitForFinished(10000) && gdbus.exitStatus() == QProcess::NormalExit && gdbus.exitCode() == 0;
}

} // namespace brevona::test
