#pragma once

#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace brevona::test {

// A temporary home folder for one test: HOME and the XDG data, config, cache and runtime variables
// point inside it for the object's lifetime, and the previous environment comes back on
// destruction. The runtime folder exists (mode 0700) as a session would provide it; the others are
// left for the code under test to create.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome &) = delete;
    TestHome &operator=(const TestHome &) = delete;

    bool isValid() const;
    QString path() const;
    QString dataHome() const;
    QString configHome() const;
    QString cacheHome() const;
    QString runtimeDir() const;

    // Sets (or, with nothing, unsets) any variable for the object's lifetime; it is restored with
    // the others.
    void setEnvironment(const char *variable, const std::optional<QString> &value);

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
    // Variable name and its former value (nothing when it was unset).
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> m_saved;
};

} // namespace brevona::test
