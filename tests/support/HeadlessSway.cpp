#include "HeadlessSway.h"

#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QStandardPaths>

#include "Wait.h"

namespace brevona::test {

namespace {

using namespace std::chrono_literals;

QString tool(const char *name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

void diesWithTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace

HeadlessSway::~HeadlessSway()
{
    stop();
}

std::optional<QString> HeadlessSway::missing()
{
    for (const char *program : {"sway", "swaymsg"}) {
        if (tool(program).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(program));
    }
    if (::geteuid() == 0 && (tool("setpriv").isEmpty() || !::getpwnam("nobody")))
        return QStringLiteral("sway refuses root, and setpriv or the user nobody is missing");
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    if (platforms.entryList({QStringLiteral("*wayland*")}).isEmpty())
        return QStringLiteral("Qt's Wayland platform plugin (qt6-wayland) is not installed");
    if (!QFile::exists(QStringLiteral(BREVONA_WAYLAND_WINDOW_EXECUTABLE)))
        return QStringLiteral("the test window program was not built");
    return std::nullopt;
}

bool HeadlessSway::start()
{
    if (const auto reason = missing()) {
        m_error = *reason;
        return false;
    }
    m_runtime = std::make_unique<QTemporaryDir>();
    if (!m_runtime->isValid()) {
        m_error = QStringLiteral("no runtime folder");
        return false;
    }
    const QString config = QDir(m_runtime->path()).filePath(QStringLiteral("config"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write("xwayland disable\n") < 0) {
        m_error = QStringLiteral("cannot write sway's configuration");
        return false;
    }
    file.close();

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    environment.insert(QStringLiteral("HOME"), m_runtime->path());
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    const QStringList swayArguments{QStringLiteral("-c"), config};
    if (::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        // The runtime folder must be the compositor's own, private to it.
        if (::chown(QFile::encodeName(m_runtime->path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand the runtime folder to nobody");
            return false;
        }
        // The parent-death signal goes with the change of user: setpriv sets it again after.
        m_process.start(tool("setpriv"), QStringList{QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                                                     QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                                                     QStringLiteral("--clear-groups"),
                                                     QStringLiteral("--pdeathsig=KILL"), tool("sway")} +
                                             swayArguments);
    } else {
        diesWithTest(m_process);
        m_process.start(tool("sway"), swayArguments);
    }
    const QDir runtime(m_runtime->path());
    const bool up = waitUntil(
        [&] {
            const QStringList sockets = runtime.entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
            const QStringList displays = runtime.entryList({QStringLiteral("wayland-*")}, QDir::System);
            if (sockets.isEmpty() || displays.isEmpty() || m_process.state() != QProcess::Running)
                return m_process.state() == QProcess::NotRunning;
            m_socket = runtime.filePath(sockets.first());
            m_waylandDisplay = displays.first();
            return true;
        },
        15s);
    if (!up || m_socket.isEmpty()) {
        m_error = QStringLiteral("sway did not start: ") + QString::fromLocal8Bit(m_process.readAll());
        stop();
        return false;
    }
    bool answers = false;
    swaymsg({QStringLiteral("-t"), QStringLiteral("get_version")}, &answers);
    if (!answers) {
        m_error = QStringLiteral("sway does not answer on its socket");
        stop();
        return false;
    }
    return true;
}

void HeadlessSway::stop()
{
    for (auto &window : m_windows) {
        window->kill();
        window->waitForFinished(5000);
    }
    m_windows.clear();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    m_runtime.reset();
    m_socket.clear();
    m_waylandDisplay.clear();
}

QString HeadlessSway::swaymsg(const QStringList &arguments, bool *ok) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SWAYSOCK"), m_socket);
    process.setProcessEnvironment(environment);
    process.start(tool("swaymsg"), arguments);
    const bool done = process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
                      process.exitCode() == 0;
    if (ok)
        *ok = done;
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool HeadlessSway::command(const QString &command) const
{
    bool ok = false;
    swaymsg({command}, &ok);
    return ok;
}

QProcess *HeadlessSway::startWindow(const QString &appId)
{
    auto window = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), m_waylandDisplay);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.remove(QStringLiteral("DISPLAY"));
    window->setProcessEnvironment(environment);
    window->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    diesWithTest(*window);
    window->start(QStringLiteral(BREVONA_WAYLAND_WINDOW_EXECUTABLE), {appId});
    const QString quoted = QLatin1Char('"') + appId + QLatin1Char('"');
    if (!window->waitForStarted(5000) ||
        !waitUntil(
            [&] {
                return swaymsg({QStringLiteral("-t"), QStringLiteral("get_tree")}).contains(quoted);
            },
            10s))
        return nullptr;
    m_windows.push_back(std::move(window));
    return m_windows.back().get();
}

void HeadlessSway::stopWindow(QProcess *window)
{
    const auto found = std::find_if(m_windows.begin(), m_windows.end(),
                                    [window](const auto &held) { return held.get() == window; });
    if (found == m_windows.end())
        return;
    (*found)->kill();
    (*found)->waitForFinished(5000);
    m_windows.erase(found);
}

} // namespace brevona::test
