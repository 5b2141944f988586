#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <optional>

#include <QColor>
#include <QDBusConnection>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "SimulatedVolume.h"
#include "StoreBuilder.h"
#include "TestHome.h"

namespace brevona::test {

class AnnouncementCounter;

// The colours of the four quarters of a key picture: top-left, top-right, bottom-left,
// bottom-right (the zones 0 to 3).
using Quarters = std::array<QColor, 4>;

// The real BrevonaDriver as a user runs it, for the tests that only the whole program can show
// (transport, real clients, process lifetime) and for the benchmarks: a session bus of its own, a
// temporary home with the layer store the test writes, the build's data set, a simulated keyboard
// whose display files the test decodes, and the driver's log. Outside clients started by the test
// (gdbus, dbus-send, brevona-send) inherit the session's environment while it lives. Drivers of
// one user replace each other, so two sessions never run at once (the tests take a lock).
class DriverSession
{
public:
    struct Options
    {
        // A dbus-daemon for this session; otherwise the bus the test runs on.
        bool privateBus = true;
        // The system plugin folder (the test plugins, the sample plugins); none: no plugins.
        QString plugins = {};
        // The X display of an Xvfb the driver uses; none: no X display at all.
        QString display = {};
        QStringList arguments{QStringLiteral("--verbose")};
        // The driver's output: collected into log() unless discarded (benchmarks).
        bool keepLog = true;
    };

    DriverSession();
    explicit DriverSession(Options options);
    ~DriverSession();
    DriverSession(const DriverSession &) = delete;
    DriverSession &operator=(const DriverSession &) = delete;

    // Whatever set-up failed, or nothing.
    const QString &error() const { return m_error; }
    TestHome &home() { return m_home; }
    StoreBuilder &store() { return m_store; }
    const SimulatedVolume &volume() const { return m_volume; }
    QProcess &process() { return m_driver; }
    // The session's bus, as the test process reaches it, and its address (empty: the test's bus).
    QDBusConnection bus() const;
    const QString &busAddress() const { return m_busAddress; }

    // Starts the driver and waits until it serves commands and its first composition is on the
    // keyboard's displays.
    [[nodiscard]] bool start();
    // Starts the driver and waits for nothing.
    [[nodiscard]] bool launch();
    // Sends "Terminate" and waits for the driver to end.
    [[nodiscard]] bool terminate();
    [[nodiscard]] bool waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(15));

    QString log();
    int logCount(const QString &text);
    // Waits until the log holds `text` `times` times (false at once when the driver has ended).
    [[nodiscard]] bool waitForLog(const QString &text, int times = 1,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(15));
    // The newest composition the driver logged: its layer identifiers, bottom first.
    QStringList composition();
    // The driver's resident memory in kilobytes (VmRSS), 0 when it cannot be read.
    qint64 residentKilobytes() const;

    // A command the way the configurator's tools send it: through brevona-send, the info written
    // as an XML property list (nothing: no info); waits until the driver has taken it.
    [[nodiscard]] bool send(const QString &command, const std::optional<QVariantMap> &info);
    // The same through gdbus, as any outside client; `infoText` in GVariant text form.
    [[nodiscard]] bool gdbus(const QString &command, const QString &infoText = QStringLiteral("{}"));
    // A signal of the announcement interface, sent with dbus-send ("string:B" arguments).
    [[nodiscard]] bool signal(const QString &member, const QStringList &arguments);
    int commandCount(const QString &command) { return logCount(QStringLiteral("Command %1").arg(command)); }
    // After a command went by other means: waits until the driver logged it (`before` = the count
    // before sending).
    [[nodiscard]] bool waitForCommand(const QString &command, int before);
    // The announcements ("BrevonaDriverLaunched", "BrevonaDriverTerminated") seen on the bus.
    int announcements(const QString &name) const;

    // The picture display n shows, upright, as the keyboard would show it.
    std::optional<QImage> display(int n) const;
    std::optional<Quarters> quarters(const QString &key) const;
    // Waits until the whole picture of `key` shows `colour` (within the precision of the displays).
    [[nodiscard]] bool waitForColour(const QString &key, const QColor &colour,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(8)) const;

    static int displayOf(const QString &key);
    static bool sameColour(const QColor &a, const QColor &b);
    // "#rrggbb #rrggbb #rrggbb #rrggbb", for failure messages.
    static QString describe(const Quarters &quarters);

private:
    bool startBus();
    QString run(const QString &program, const QStringList &arguments, const QByteArray &input = {});

    Options m_options;
    TestHome m_home;
    StoreBuilder m_store;
    SimulatedVolume m_volume;
    QProcess m_bus;
    QProcess m_driver;
    QString m_busAddress;
    QString m_connectionName;
    QString m_log;
    QString m_error;
    std::unique_ptr<AnnouncementCounter> m_announcements;
};

} // namespace brevona::test
