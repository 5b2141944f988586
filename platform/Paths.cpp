#include "Paths.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLoggingCategory>

#include "ResourceFiles.h"

Q_LOGGING_CATEGORY(lcPaths, "brevona.platform.paths")

namespace brevona {

namespace {

const QString kSupportName = QStringLiteral("Lumivox");
const QString kConfiguratorDomain = QStringLiteral("com.kettlewood.lumivox.brevona.configurator");

// XDG variables count only when they hold an absolute path.
QString absoluteFromEnvironment(const char *variable)
{
    const QString value = qEnvironmentVariable(variable);
    if (value.isEmpty() || !QDir::isAbsolutePath(value))
        return {};
    return QDir::cleanPath(value);
}

QString xdgFolder(const char *variable, const char *homeRelativeDefault)
{
    const QString fromEnvironment = absoluteFromEnvironment(variable);
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QDir::cleanPath(Paths::homeFolder() + QLatin1Char('/') + QLatin1String(homeRelativeDefault));
}

// True for a directory (not a link to one) owned by the user and closed to group and others.
bool isPrivateDirectory(const QByteArray &path, bool logRefusal)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (logRefusal)
            qCWarning(lcPaths, "Working folder %s cannot be opened as a folder: %s", path.constData(),
                      std::strerror(errno));
        return false;
    }
    struct stat info
    {
    };
    const bool statted = ::fstat(fd, &info) == 0;
    ::close(fd);
    const bool isPrivate =
        statted && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
    if (!isPrivate && logRefusal)
        qCWarning(lcPaths, "Working folder %s refused: not owned by the user or open to others",
                  path.constData());
    return isPrivate;
}

// Creates a folder with mode 0700, or accepts an existing one that is already private.
bool ensurePrivateDirectory(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) == 0) {
        // The umask can only take bits away; make sure the owner keeps full access.
        if (::chmod(native.constData(), 0700) != 0) {
            qCWarning(lcPaths, "Working folder %s: cannot set its mode: %s", native.constData(),
                      std::strerror(errno));
            return false;
        }
    } else if (errno != EEXIST) {
        qCWarning(lcPaths, "Working folder %s cannot be created: %s", native.constData(),
                  std::strerror(errno));
        return false;
    }
    return isPrivateDirectory(native, true);
}

bool isPlainComponent(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// The per-process folder in the temporary directory, created once with an unpredictable name.
std::optional<QString> processTemporaryFolder()
{
    static std::mutex mutex;
    static std::optional<QString> folder;
    std::lock_guard lock(mutex);
    if (folder && isPrivateDirectory(QFile::encodeName(*folder), false))
        return folder;
    QByteArray pattern = QFile::encodeName(QDir::tempPath() + QStringLiteral("/brevona-XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr) {
        qCWarning(lcPaths, "Cannot create a private temporary folder from %s: %s", pattern.constData(),
                  std::strerror(errno));
        return std::nullopt;
    }
    folder = QFile::decodeName(pattern);
    return folder;
}

} // namespace

QString Paths::homeFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    // No HOME: the account database is the authority, as it is for the shell.
    long bufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (bufferSize <= 0)
        bufferSize = 16384;
    QByteArray buffer(bufferSize, Qt::Uninitialized);
    struct passwd entry
    {
    };
    struct passwd *result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir && result->pw_dir[0] != '\0')
        return QDir::cleanPath(QFile::decodeName(result->pw_dir));
    return QDir::homePath();
}

QString Paths::dataHome()
{
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

QString Paths::configHome()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

QString Paths::cacheHome()
{
    return xdgFolder("XDG_CACHE_HOME", ".cache");
}

QString Paths::supportFolder()
{
    return dataHome() + QLatin1Char('/') + kSupportName;
}

QString Paths::layerStoreFolder()
{
    return supportFolder() + QStringLiteral("/Layers");
}

QString Paths::backgroundFolder()
{
    return supportFolder() + QStringLiteral("/Background");
}

QString Paths::userPluginFolder()
{
    return supportFolder() + QStringLiteral("/Plugins");
}

QString Paths::cachesFolder()
{
    return cacheHome() + QLatin1Char('/') + kSupportName;
}

QString Paths::preferencesFile(const QString &domain)
{
    return configHome() + QLatin1Char('/') + domain + QStringLiteral(".plist");
}

QString Paths::configuratorPreferencesFile()
{
    return preferencesFile(kConfiguratorDomain);
}

QString Paths::configuratorPreferencesDomain()
{
    return kConfiguratorDomain;
}

QString Paths::driverSystemPluginFolder()
{
    // Lets the driver run from a build tree with the plugins built beside it.
    const QString overridden = qEnvironmentVariable("BREVONA_SYSTEM_PLUGIN_DIR");
    return overridden.isEmpty() ? QStringLiteral(BREVONA_DRIVER_SYSTEM_PLUGIN_DIR) : overridden;
}

QString Paths::configuratorSystemPluginFolder()
{
    return QStringLiteral(BREVONA_CONFIGURATOR_SYSTEM_PLUGIN_DIR);
}

QString Paths::resourceFolder()
{
    const QString overridden = qEnvironmentVariable("BREVONA_RESOURCE_DIR");
    if (!overridden.isEmpty())
        return QDir::cleanPath(QDir(overridden).absolutePath());
    // Programs started from the build tree, before any install, read the data set built there.
    static const QString folder = [] {
        const QString installed = QStringLiteral(BREVONA_DATA_DIR);
        const QString built = QStringLiteral(BREVONA_BUILD_RESOURCE_DIR);
        if (!QFileInfo::exists(installed + QLatin1Char('/') + resourcefiles::ButtonData) &&
            QFileInfo::exists(built + QLatin1Char('/') + resourcefiles::ButtonData))
            return built;
        return installed;
    }();
    return folder;
}

std::optional<QString> Paths::privateWorkingFolder(const QString &name)
{
    if (!isPlainComponent(name)) {
        qCWarning(lcPaths, "Working folder name %s refused: not a single path component",
                  qUtf8Printable(name));
        return std::nullopt;
    }

    std::optional<QString> parent;
    const QString runtime = absoluteFromEnvironment("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateDirectory(QFile::encodeName(runtime), false)) {
        const QString folder = runtime + QStringLiteral("/brevona");
        if (!ensurePrivateDirectory(folder))
            return std::nullopt;
        parent = folder;
    } else {
        parent = processTemporaryFolder();
        if (!parent)
            return std::nullopt;
    }

    const QString folder = *parent + QLatin1Char('/') + name;
    if (!ensurePrivateDirectory(folder))
        return std::nullopt;
    return folder;
}

} // namespace brevona
