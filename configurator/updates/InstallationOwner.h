#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace brevona {

// Who owns the running installation: a package manager (then it, not the configurator, updates
// the program) or nobody (then the configurator may install a verified package itself).
class InstallationOwner
{
public:
    virtual ~InstallationOwner() = default;
    // The package manager's name ("dpkg", "rpm", "Flatpak", "Snap") when one owns `program`.
    virtual std::optional<QString> packageManager(const QString &program) = 0;
};

// The real question, asked of the system: a Flatpak or Snap sandbox says so in its environment;
// otherwise each query program ("dpkg-query -S PATH", "rpm -qf PATH") is asked about the
// program's path and its resolved path, and the first that knows the file owns it. A query
// program that is not installed, fails or takes longer than a few seconds knows nothing.
class PackageManagerProbe : public InstallationOwner
{
public:
    struct Query
    {
        QString name;          // "dpkg"
        QString program;       // "dpkg-query", looked up on PATH unless absolute
        QStringList arguments; // the path follows them
    };

    // The Debian and RPM queries.
    static QList<Query> systemQueries();

    explicit PackageManagerProbe(QList<Query> queries = systemQueries(), int timeoutMs = 5000);
    std::optional<QString> packageManager(const QString &program) override;

private:
    QList<Query> m_queries;
    int m_timeoutMs;
};

} // namespace brevona
