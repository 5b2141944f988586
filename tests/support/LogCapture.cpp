#include "LogCapture.h"

#include <atomic>

#include <QLoggingCategory>

namespace brevona::test {

namespace {

std::atomic<LogCapture *> g_current{nullptr};

QString debugRules(const QStringList &categories, bool on)
{
    QStringList rules;
    for (const QString &category : categories)
        rules << QStringLiteral("%1.debug=%2")
                     .arg(category, on ? QStringLiteral("true") : QStringLiteral("false"))
              << QStringLiteral("%1.*.debug=%2")
                     .arg(category, on ? QStringLiteral("true") : QStringLiteral("false"));
    return rules.join(QLatin1Char('\n'));
}

} // namespace

LogCapture::LogCapture(QStringList categories, bool debug)
    : m_categories(std::move(categories))
    , m_debug(debug)
{
    if (m_debug)
        QLoggingCategory::setFilterRules(debugRules(m_categories, true));
    // A capture made while another lives takes over until it ends.
    m_outer = g_current.exchange(this);
    m_previous = qInstallMessageHandler(&LogCapture::handle);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_current.store(m_outer);
    if (m_debug)
        QLoggingCategory::setFilterRules(debugRules(m_categories, false));
}

bool LogCapture::takes(const char *category) const
{
    if (m_categories.isEmpty())
        return true;
    const QLatin1String name(category ? category : "default");
    for (const QString &wanted : m_categories) {
        if (name == wanted || (name.startsWith(wanted) && name.size() > wanted.size() &&
                               name.at(wanted.size()) == QLatin1Char('.')))
            return true;
    }
    return false;
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // The newest capture that takes the message keeps it; the rest go to the handler that was
    // there before the first capture.
    for (LogCapture *capture = g_current.load(); capture; capture = capture->m_outer) {
        if (capture->takes(context.category)) {
            std::lock_guard lock(capture->m_mutex);
            capture->m_messages.append(message);
            return;
        }
        if (!capture->m_outer && capture->m_previous)
            capture->m_previous(type, context, message);
    }
}

QStringList LogCapture::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

int LogCapture::count(const QString &text) const
{
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const QString &message : m_messages)
        n += message.contains(text) ? 1 : 0;
    return n;
}

void LogCapture::clear()
{
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

} // namespace brevona::test
