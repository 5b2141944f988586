#include "TestHome.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>

namespace brevona::test {

TestHome::TestHome()
{
    if (!m_dir.isValid())
        return;
    if (!QDir().mkpath(runtimeDir()) || ::chmod(QFile::encodeName(runtimeDir()).constData(), 0700) != 0)
        return;
    setEnvironment("HOME", path());
    setEnvironment("XDG_DATA_HOME", dataHome());
    setEnvironment("XDG_CONFIG_HOME", configHome());
    setEnvironment("XDG_CACHE_HOME", cacheHome());
    setEnvironment("XDG_RUNTIME_DIR", runtimeDir());
    m_valid = true;
}

TestHome::~TestHome()
{
    // Restore in reverse order so that a variable set twice ends with its original value.
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->second)
            qputenv(it->first.constData(), *it->second);
        else
            qunsetenv(it->first.constData());
    }
}

void TestHome::setEnvironment(const char *variable, const std::optional<QString> &value)
{
    std::optional<QByteArray> previous;
    if (qEnvironmentVariableIsSet(variable))
        previous = qgetenv(variable);
    m_saved.emplace_back(QByteArray(variable), std::move(previous));
    if (value)
        qputenv(variable, QFile::encodeName(*value));
    else
        qunsetenv(variable);
}

bool TestHome::isValid() const
{
    return m_valid;
}

QString TestHome::path() const
{
    return m_dir.path();
}

QString TestHome::dataHome() const
{
    return path() + QStringLiteral("/.local/share");
}

QString TestHome::configHome() const
{
    return path() + QStringLiteral("/.config");
}

QString TestHome::cacheHome() const
{
    return path() + QStringLiteral("/.cache");
}

QString TestHome::runtimeDir() const
{
    return path() + QStringLiteral("/run");
}

} // namespace brevona::test
