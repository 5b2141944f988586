#pragma once

#include <mutex>

#include <QStringList>
#include <QtMessageHandler>

namespace brevona::test {

// Collects the messages of the "brevona.utility" logging category, from any thread, while it
// exists; other messages go on to the previous handler.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    int count(const QString &text) const;
    int countContaining(const QString &text) const;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

} // namespace brevona::test
