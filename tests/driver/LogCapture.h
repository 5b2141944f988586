#pragma once

#include <QStringList>
#include <QtGlobal>

namespace brevona::test {

// Collects every log message written while it lives.
class LogCapture
{
public:
    LogCapture() { m_previous = qInstallMessageHandler(&LogCapture::handler); current() = this; }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }

    const QStringList &messages() const { return m_messages; }
    int count(const QString &text) const
    {
        int n = 0;
        for (const QString &message : m_messages)
            n += message.contains(text) ? 1 : 0;
        return n;
    }
    void clear() { m_messages.clear(); }

private:
    static LogCapture *&current()
    {
        static LogCapture *capture = nullptr;
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

} // namespace brevona::test
