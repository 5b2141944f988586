#include "UtilityTestSupport.h"

#include <atomic>

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace brevona::test {

namespace {

std::atomic<LogCapture *> g_capture{nullptr};

// The network tests need an application object with its event loop on the main thread.
class ApplicationEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        // Proxies of the machine must not stand between the tests and their loopback server.
        for (const char *name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            qunsetenv(name);
        m_application = new QCoreApplication(m_argc, m_argv);
    }
    void TearDown() override
    {
        delete m_application;
        m_application = nullptr;
    }

private:
    int m_argc = 1;
    char m_name[32] = "brevona_utility_tests";
    char *m_argv[2] = {m_name, nullptr};
    QCoreApplication *m_application = nullptr;
};

[[maybe_unused]] testing::Environment *const g_environment =
    testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace

LogCapture::LogCapture()
{
    g_capture.store(this);
    m_previous = qInstallMessageHandler(&LogCapture::handle);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_capture.store(nullptr);
}

QStringList LogCapture::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

int LogCapture::count(const QString &text) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_lines.count(text));
}

int LogCapture::countContaining(const QString &text) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(),
                                          [&](const QString &line) { return line.contains(text); }));
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogCapture *capture = g_capture.load();
    if (capture != nullptr && context.category != nullptr &&
        qstrcmp(context.category, "brevona.utility") == 0) {
        std::lock_guard lock(capture->m_mutex);
        capture->m_lines.append(message);
        return;
    }
    if (capture != nullptr && capture->m_previous != nullptr)
        capture->m_previous(type, context, message);
}

} // namespace brevona::test
