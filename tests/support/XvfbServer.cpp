#include "XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QProcessEnvironment>
#include <QStandardPaths>

namespace brevona::test {

namespace {

void dieWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void finish(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

XvfbServer::~XvfbServer()
{
    stop();
}

bool XvfbServer::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty();
}

bool XvfbServer::start()
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    m_process.setProgram(QStringLiteral("Xvfb"));
    m_process.setArguments({"-displayfd", QString::number(fds[1]), "-noreset", "-nolisten", "tcp", "-screen", "0",
                            "640x480x24"});
    dieWithParent(m_process);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start();
    ::close(fds[1]);
    const bool started = m_process.waitForStarted(5000);
    QByteArray number;
    pollfd readable{fds[0], POLLIN, 0};
    while (started && ::poll(&readable, 1, 15000) > 0) {
        char c;
        if (::read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number.append(c);
    }
    ::close(fds[0]);
    if (number.isEmpty()) {
        stop();
        return false;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    return true;
}

void XvfbServer::stop()
{
    stopClients();
    finish(m_process);
}

bool XvfbServer::run(const QString &program, const QStringList &arguments) const
{
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    client.setProcessEnvironment(environment);
    client.start(program, arguments);
    return client.waitForFinished(15000) && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
}

QProcess *XvfbServer::startClient(const QString &program, const QStringList &arguments)
{
    auto client = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    client->setProcessEnvironment(environment);
    client->setStandardOutputFile(QProcess::nullDevice());
    client->setStandardErrorFile(QProcess::nullDevice());
    dieWithParent(*client);
    client->start(program, arguments);
    if (!client->waitForStarted(5000))
        return nullptr;
    m_clients.push_back(std::move(client));
    return m_clients.back().get();
}

void XvfbServer::stopClients()
{
    // The newest first: windows before their window manager.
    while (!m_clients.empty()) {
        finish(*m_clients.back());
        m_clients.pop_back();
    }
}

} // namespace brevona::test
