#include "InstallationOwner.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "UpdatesLogging.h"

namespace brevona {

QList<PackageManagerProbe::Query> PackageManagerProbe::systemQueries()
{
    return {{QStringLiteral("dpkg"), QStringLiteral("dpkg-query"), {QStringLiteral("-S")}},
            {QStringLiteral("rpm"), QStringLiteral("rpm"), {QStringLiteral("-qf")}}};
}

PackageManagerProbe::PackageManagerProbe(QList<Query> queries, int timeoutMs)
    : m_queries(std::move(queries))
    , m_timeoutMs(timeoutMs)
{}

std::optional<QString> PackageManagerProbe::packageManager(const QString &program)
{
    if (!qEnvironmentVariableIsEmpty("FLATPAK_ID"))
        return QStringLiteral("Flatpak");
    if (!qEnvironmentVariableIsEmpty("SNAP"))
        return QStringLiteral("Snap");
    QStringList paths{QFileInfo(program).absoluteFilePath()};
    const QString resolved = QFileInfo(program).canonicalFilePath();
    if (!resolved.isEmpty() && !paths.contains(resolved))
        paths.append(resolved);
    for (const Query &query : m_queries) {
        const QString executable = QFileInfo(query.program).isAbsolute()
                                       ? query.program
                                       : QStandardPaths::findExecutable(query.program);
        if (executable.isEmpty() || !QFileInfo(executable).isExecutable())
            continue;
        for (const QString &path : std::as_const(paths)) {
            QProcess process;
            process.setProcessChannelMode(QProcess::MergedChannels);
            process.start(executable, query.arguments + QStringList{path});
            if (!process.waitForFinished(m_timeoutMs)) {
                process.kill();
                process.waitForFinished(1000);
                qCInfo(lcUpdates).noquote() << query.program << "did not answer whether it owns" << path;
                continue;
            }
            if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
                return query.name;
        }
    }
    return std::nullopt;
}

} // namespace brevona
