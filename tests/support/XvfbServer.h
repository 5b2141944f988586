#pragma once

#include <memory>
#include <vector>

#include <QProcess>
#include <QString>
#include <QStringList>

namespace brevona::test {

// An Xvfb server on a display number it picks itself (-displayfd), for tests of X11 code with
// real clients. -noreset keeps the keyboard settings when the last client leaves. Should the test
// process die, the server and the clients started here go with it.
class XvfbServer
{
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // On a free display, or on `display` (":N"), for a server that comes back where it was.
    bool start(const QString &display = {});
    void stop();
    const QString &display() const { return m_display; }

    // Runs an X client (xdotool, setxkbmap) to its end on this display; true when it succeeded.
    bool run(const QString &program, const QStringList &arguments) const;
    // Runs an X client to its end and returns what it wrote to its standard output.
    QString output(const QString &program, const QStringList &arguments) const;
    // Starts a client that keeps running (a window manager, a window) until stopClients() or the
    // end of the server; nothing when it did not start.
    QProcess *startClient(const QString &program, const QStringList &arguments);
    void stopClient(QProcess *client);
    void stopClients();

    // Starts openbox and waits until it manages windows (a window mapped while it starts up can
    // be lost). Needs xmessage and xprop.
    bool startWindowManager();
    // The windows of the root window's _NET_CLIENT_LIST, as xprop prints them.
    QStringList clientList() const;

private:
    QProcess m_process;
    QString m_display;
    std::vector<std::unique_ptr<QProcess>> m_clients;
};

} // namespace brevona::test
