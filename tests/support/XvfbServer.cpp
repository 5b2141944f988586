#include "XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QThread>

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

bool XvfbServer::start(const QString &display)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    m_process.setProgram(QStringLiteral("Xvfb"));
    QStringList arguments{
        "-displayfd", QString::number(fds[1]), "-noreset", "-nolisten", "tcp", "-screen", "0", "640x480x24"};
    if (!display.isEmpty())
        arguments.prepend(display);
    m_process.setArguments(arguments);
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
    return client.waitForFinished(15000) && client.exitStatus() == QProcess::NormalExit &&
           client.exitCode() == 0;
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

QString XvfbServer::output(const QString &program, const QStringList &arguments) const
{
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    client.setProcessEnvironment(environment);
    client.start(program, arguments);
    if (!client.waitForFinished(15000))
        return {};
    return QString::fromUtf8(client.readAllStandardOutput());
}

QStringList XvfbServer::clientList() const
{
    const QString text =
        output(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")});
    const qsizetype hash = text.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return {};
    QStringList windows = text.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &window : windows)
        window = window.trimmed();
    windows.removeAll(QString());
    return windows;
}

bool XvfbServer::startWindowManager()
{
    if (!startClient(QStringLiteral("openbox"), {}))
        return false;
    for (int attempt = 0; attempt < 20; ++attempt) {
        QProcess *probe = startClient(QStringLiteral("xmessage"), {QStringLiteral("brevona-probe")});
        if (!probe)
            return false;
        QDeadlineTimer deadline(500);
        bool managed = false;
        while (!managed && !deadline.hasExpired()) {
            managed = !clientList().isEmpty();
            if (!managed)
                QThread::msleep(20);
        }
        stopClient(probe);
        if (managed)
            return true;
    }
    return false;
}

void XvfbServer::stopClient(QProcess *client)
{
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->get() == client) {
            finish(*client);
            m_clients.erase(it);
            return;
        }
    }
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
