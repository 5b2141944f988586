#pragma once

#include <chrono>
#include <functional>
#include <ostream>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include "HidUsageTable.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona::test {

// Socket notifiers and local sockets need an application object on the main thread.
inline void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "brevona_hid_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *application = new QCoreApplication(argc, argv);
    (void)application;
}

// Runs the event loop until `done` holds or the time is up; returns `done()`.
inline bool pumpUntil(const std::function<bool()> &done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeout.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return done();
}

// Writes down the watcher's notifications as "down A", "up A", "down* A", "up* A".
class KeyNotificationRecorder
{
public:
    KeyNotificationRecorder()
    {
        auto &center = NotificationCenter::defaultCenter();
        record(center, notifications::HidKeyDown, QStringLiteral("down "));
        record(center, notifications::HidKeyUp, QStringLiteral("up "));
        record(center, notifications::HidKeyDownSpecial, QStringLiteral("down* "));
        record(center, notifications::HidKeyUpSpecial, QStringLiteral("up* "));
    }
    ~KeyNotificationRecorder() { NotificationCenter::defaultCenter().removeObserver(this); }

    const QStringList &events() const { return m_events; }
    void clear() { m_events.clear(); }

private:
    void record(NotificationCenter &center, const QString &name, const QString &prefix)
    {
        center.addObserver(this, name, [this, prefix](Notification &notification) {
            m_events.append(prefix + notification.object().toString());
        });
    }

    QStringList m_events;
};

// Collects the log lines written while it lives.
class HidLogCapture
{
public:
    HidLogCapture()
    {
        current() = this;
        m_previous = qInstallMessageHandler(&HidLogCapture::handler);
    }
    ~HidLogCapture()
    {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    const QStringList &messages() const { return m_messages; }

private:
    static HidLogCapture *&current()
    {
        static HidLogCapture *capture = nullptr;
        return capture;
    }
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        if (current())
            current()->m_messages.append(message);
    }

    QtMessageHandler m_previous = nullptr;
    QStringList m_messages;
};

// A small usage table in the resource's shape: a few keyboard keys, the modifiers, an application
// key under its keyboard-page usage, and one multimedia key.
inline HidUsageTable sampleUsageTable()
{
    QVariantMap standard{{"4", "A"},           {"5", "B"},
                         {"57", "CapsLock"},   {"126", "App0"},
                         {"224", "CtrlLeft"},  {"225", "ShiftLeft"},
                         {"226", "AltLeft"},   {"227", "CmdLeft"},
                         {"228", "CtrlRight"}, {"229", "ShiftRight"},
                         {"230", "AltRight"},  {"231", "CmdRight"}};
    QVariantMap multimedia{{"388", "Word*"}, {"394", "Mail*"}};
    return HidUsageTable::fromDictionary(
        QVariantMap{{QStringLiteral("Standard"), standard}, {QStringLiteral("Multimedia"), multimedia}});
}

} // namespace brevona::test

namespace {

// The table rows of the tests (declared in each file's unnamed namespace, like this) print as
// their description in test listings.
template<typename Case>
requires requires(const Case &row)
{
    row.description;
}
void PrintTo(const Case &row, std::ostream *out)
{
    *out << row.description;
}

} // namespace
