#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace brevona::test {

// The real BrevonaDriver binary in a child process, with its log collected.
class DriverProcess
{
public:
    DriverProcess();
    ~DriverProcess();

    bool start(const QStringList &arguments = {QStringLiteral("--verbose")});
    // Waits until the log holds `text` (at least `times` times) or the time runs out.
    bool waitForLog(const QString &text, int timeoutMs = 10000, int times = 1);
    bool waitForExit(int timeoutMs = 10000);
    int logCount(const QString &text);
    QString log();
    // The newest "Composition:" line's layer identifiers, bottom first.
    QStringList lastComposition();
    QProcess &process() { return m_process; }

    static QString executable();

private:
    void readOutput();

    QProcess m_process;
    QString m_log;
};

// Sends a command through gdbus, the way any outside client would.
bool gdbusNotify(const QString &command, const QString &infoText = QStringLiteral("{}"));

} // namespace brevona::test
