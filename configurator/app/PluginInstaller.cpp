#include "PluginInstaller.h"

#include <QDir>
#include <QFileInfo>
#include <QVersionNumber>

#include "AppLogging.h"
#include "FolderSwap.h"
#include "PluginBundle.h"

namespace brevona {

namespace {

const QString VersionKey = QStringLiteral("CFBundleVersion");

// A version string as a version number: "1.10", "2", "1.2.3b" (the suffix is ignored). Nothing
// when it does not start with a number.
std::optional<QVersionNumber> parse(const QString &text)
{
    const QVersionNumber version = QVersionNumber::fromString(text.trimmed());
    if (version.isNull())
        return std::nullopt;
    return version;
}

} // namespace

bool PluginInstaller::shouldReplace(const QString &shipped, const std::optional<QString> &installed)
{
    const auto source = parse(shipped);
    if (!source)
        return false;
    const QVersionNumber destination =
        installed ? parse(*installed).value_or(QVersionNumber(0, 0)) : QVersionNumber(0, 0);
    return QVersionNumber::compare(source->normalized(), destination.normalized()) > 0;
}

PluginInstaller::Report PluginInstaller::install(const QString &shippedFolder, const QString &userFolder)
{
    Report report;
    if (!QDir().mkpath(userFolder)) {
        qCWarning(lcApp).noquote() << "The plugin folder" << userFolder << "cannot be created";
        return report;
    }
    const auto bundles =
        QDir(shippedFolder)
            .entryInfoList({QStringLiteral("*.plugin")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &bundle : bundles) {
        const auto shipped = PluginBundle::open(bundle.filePath());
        if (!shipped) {
            qCWarning(lcApp).noquote()
                << "The shipped plugin" << bundle.fileName() << "has no readable Info.plist";
            continue;
        }
        const QString destination = QDir(userFolder).filePath(bundle.fileName());
        std::optional<QString> installed;
        if (const auto existing = PluginBundle::open(destination))
            installed = existing->info().value(VersionKey).toString();
        if (!shouldReplace(shipped->info().value(VersionKey).toString(), installed))
            continue;
        const FolderSwap::Result result = FolderSwap(bundle.filePath(), destination).run();
        if (result.replaced) {
            qCInfo(lcApp).noquote() << "Installed the plugin" << bundle.fileName();
            report.installed << bundle.fileName();
        } else {
            qCWarning(lcApp).noquote()
                << "The plugin" << bundle.fileName() << "was not installed:" << result.error;
            report.failed << bundle.fileName();
        }
    }
    return report;
}

} // namespace brevona
