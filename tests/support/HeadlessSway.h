#pragma once

#include <memory>
#include <vector>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace brevona::test {

// A sway compositor without any screen or input device (headless backend, pixman renderer), for
// tests of the Wayland backends with real client windows. sway refuses to run as root: a root test
// runs it as "nobody" in a runtime folder of its own handed to that user; root reaches its sockets
// all the same. Should the test process die, sway and the windows started here go with it.
class HeadlessSway
{
public:
    HeadlessSway() = default;
    ~HeadlessSway();
    HeadlessSway(const HeadlessSway &) = delete;
    HeadlessSway &operator=(const HeadlessSway &) = delete;

    // Why this machine cannot run it (sway, setpriv or Qt's Wayland plugin missing); nothing when
    // it can.
    static std::optional<QString> missing();

    bool start();
    void stop();
    const QString &error() const { return m_error; }

    // What a client or the driver needs to find it: XDG_RUNTIME_DIR, WAYLAND_DISPLAY, SWAYSOCK.
    QString runtimeDir() const { return m_runtime ? m_runtime->path() : QString(); }
    const QString &waylandDisplay() const { return m_waylandDisplay; }
    const QString &socketPath() const { return m_socket; }

    // Runs a sway command through swaymsg; true when sway carried it out.
    bool command(const QString &command) const;
    // A Wayland window whose app id is `appId` (a small Qt program), once sway has it; nothing
    // when it did not come.
    QProcess *startWindow(const QString &appId);
    void stopWindow(QProcess *window);

private:
    QString swaymsg(const QStringList &arguments, bool *ok = nullptr) const;

    std::unique_ptr<QTemporaryDir> m_runtime;
    QProcess m_process;
    QString m_waylandDisplay;
    QString m_socket;
    QString m_error;
    std::vector<std::unique_ptr<QProcess>> m_windows;
};

} // namespace brevona::test
