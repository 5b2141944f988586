#include "LinuxProcessTable.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <QDir>
#include <QFile>

namespace brevona {

namespace {

QString processName(const QString &statusPath, uid_t *uid)
{
    QFile file(statusPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString name;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("Name:"))
            name = QString::fromUtf8(line.mid(5).trimmed());
        else if (line.startsWith("Uid:"))
            *uid = static_cast<uid_t>(line.mid(4).trimmed().split('\t').value(0).toUInt());
    }
    return name;
}

bool isGone(pid_t pid)
{
    // A zombie has released everything it held; it only waits for its parent.
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray stat = file.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat.at(close + 2) == 'Z';
}

} // namespace

std::vector<pid_t> LinuxProcessTable::processesNamed(const QString &name) const
{
    std::vector<pid_t> result;
    const pid_t self = getpid();
    const uid_t me = getuid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const pid_t pid = static_cast<pid_t>(entry.toInt(&ok));
        if (!ok || pid == self)
            continue;
        uid_t uid = static_cast<uid_t>(-1);
        if (processName(QStringLiteral("/proc/%1/status").arg(pid), &uid) == name && uid == me &&
            !isGone(pid))
            result.push_back(pid);
    }
    return result;
}

bool LinuxProcessTable::kill(pid_t pid)
{
    if (::kill(pid, SIGKILL) != 0)
        return false;
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(2);
    while (!isGone(pid) && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(5));
    return true;
}

ProcessTable &ProcessTable::instance()
{
    static LinuxProcessTable table;
    return table;
}

} // namespace brevona
