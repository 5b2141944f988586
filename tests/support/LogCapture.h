#pragma once

#include <mutex>

#include <QStringList>
#include <QtMessageHandler>

namespace brevona::test {

// Collects the log messages written while it lives, from any thread. With categories given, it
// takes only the messages of those logging categories (and their subcategories: "brevona.driver"
// takes "brevona.driver.device") and passes the others on; without, it takes every message. With
// `debug`, the debug messages of the given categories are switched on for its lifetime.
class LogCapture
{
public:
    explicit LogCapture(QStringList categories = {}, bool debug = false);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList messages() const;
    // The number of messages containing `text`.
    int count(const QString &text) const;
    void clear();

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);
    bool takes(const char *category) const;

    const QStringList m_categories;
    const bool m_debug;
    mutable std::mutex m_mutex;
    QStringList m_messages;
    QtMessageHandler m_previous = nullptr;
    LogCapture *m_outer = nullptr;
};

} // namespace brevona::test
