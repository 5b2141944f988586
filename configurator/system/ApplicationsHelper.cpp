#include "ApplicationsHelper.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

#include "ApplicationMonitor.h"
#include "NotificationCenter.h"
#include "Paths.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "SystemLogging.h"
#include "SystemNotificationNames.h"

namespace brevona {

namespace {

// Identifiers name cache files: only plain file names may.
bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

ApplicationsHelper::ApplicationsHelper(ApplicationCatalog &catalog, ApplicationMonitor &monitor,
                                       PreferencesStore &preferences, const QString &cachesFolder,
                                       QObject *parent)
    : QObject(parent)
    , m_catalog(catalog)
    , m_monitor(monitor)
    , m_preferences(preferences)
    , m_iconsFolder(QDir(cachesFolder).filePath(QStringLiteral("AppIcons")))
{
    if (!QDir().mkpath(m_iconsFolder))
        qCWarning(lcSystem, "Icon cache %s cannot be created; icons are drawn at every start",
                  qPrintable(m_iconsFolder));
    NotificationCenter::defaultCenter().addObserver(this,
                                                    notifications::ApplicationsHelperDidUpdateCustomAppsList,
                                                    [this](Notification &) { addCustomApplications(); });
    connect(&m_scan, &QFutureWatcher<ScanResult>::finished, this, &ApplicationsHelper::scanFinished);
    startScan();
}

ApplicationsHelper::~ApplicationsHelper()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    m_scan.waitForFinished();
}

ApplicationsHelper &ApplicationsHelper::shared()
{
    // Lives as long as the process, as the services it reads.
    static auto *helper =
        new ApplicationsHelper(ApplicationCatalog::instance(), ApplicationMonitor::instance(),
                               PreferencesStore::shared(), Paths::cachesFolder());
    return *helper;
}

void ApplicationsHelper::updateInstalledApplicationsList()
{
    if (isScanning())
        m_scanAgain = true;
    else
        startScan();
}

bool ApplicationsHelper::isScanning() const
{
    return m_scan.isRunning();
}

void ApplicationsHelper::startScan()
{
    // The custom applications are looked up with the list, so the main thread never reads the
    // application folders.
    const QStringList custom = m_preferences.stringListValue(PreferenceKeys::CustomApplicationsBundlesList);
    ApplicationCatalog *catalog = &m_catalog;
    m_scanPending = true;
    m_scan.setFuture(QtConcurrent::run([catalog, custom] {
        ScanResult result;
        result.installed = catalog->installedApplications();
        for (const QString &identifier : custom) {
            if (auto application = catalog->application(identifier))
                result.custom.push_back(std::move(*application));
        }
        return result;
    }));
}

void ApplicationsHelper::scanFinished()
{
    const ScanResult result = m_scan.result();
    m_scanPending = false;
    merge(result.installed);
    merge(result.custom);
    postListUpdate();
    if (std::exchange(m_scanAgain, false))
        startScan();
}

void ApplicationsHelper::addCustomApplications()
{
    std::vector<InstalledApplication> found;
    for (const QString &identifier :
         m_preferences.stringListValue(PreferenceKeys::CustomApplicationsBundlesList)) {
        if (auto application = m_catalog.application(identifier))
            found.push_back(std::move(*application));
    }
    if (merge(found))
        postListUpdate();
}

std::optional<QString> ApplicationsHelper::addApplicationAtPath(const QString &path)
{
    const auto application = m_catalog.applicationAtPath(path);
    if (!application)
        return std::nullopt;
    if (merge({*application}))
        postListUpdate();
    return application->identifier;
}

QString ApplicationsHelper::defaultApplicationForType(const QString &mimeType)
{
    const auto application = m_catalog.defaultApplicationFor(mimeType);
    if (!application) {
        qCInfo(lcSystem, "No installed application opens %s", qPrintable(mimeType));
        return {};
    }
    if (merge({*application}))
        postListUpdate();
    return application->identifier;
}

void ApplicationsHelper::waitForScan()
{
    while (m_scanPending)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool ApplicationsHelper::merge(const std::vector<InstalledApplication> &applications)
{
    QStringList replaced;
    bool grew = false;
    {
        std::lock_guard guard(m_lock);
        for (const InstalledApplication &application : applications) {
            const auto it = m_installed.find(application.identifier);
            if (it == m_installed.end()) {
                m_installed.insert(application.identifier, application);
                grew = true;
            } else if (*it != application) {
                *it = application;
                replaced.append(application.identifier);
            }
        }
    }
    // A changed entry may come with another icon.
    for (const QString &identifier : std::as_const(replaced))
        m_icons.remove(identifier);
    return grew;
}

void ApplicationsHelper::postListUpdate()
{
    NotificationCenter::defaultCenter().post(notifications::ApplicationsHelperDidUpdateList,
                                             QVariant(applicationIdentifiers()));
}

QStringList ApplicationsHelper::applicationIdentifiers() const
{
    QStringList identifiers;
    {
        std::lock_guard guard(m_lock);
        identifiers = m_installed.keys();
    }
    sortByName(identifiers);
    return identifiers;
}

QString ApplicationsHelper::applicationNameForIdentifier(const QString &identifier) const
{
    std::lock_guard guard(m_lock);
    return m_installed.value(identifier).name;
}

QString ApplicationsHelper::applicationPathForIdentifier(const QString &identifier) const
{
    std::lock_guard guard(m_lock);
    return m_installed.value(identifier).path;
}

void ApplicationsHelper::sortByName(QStringList &identifiers) const
{
    QHash<QString, QString> names;
    {
        std::lock_guard guard(m_lock);
        for (const QString &identifier : std::as_const(identifiers)) {
            const QString name = m_installed.value(identifier).name;
            names.insert(identifier, name.isEmpty() ? identifier : name);
        }
    }
    std::sort(identifiers.begin(), identifiers.end(), [&names](const QString &a, const QString &b) {
        const int order = names.value(a).compare(names.value(b), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
}

QString ApplicationsHelper::iconCacheFile(const QString &identifier) const
{
    if (!isPlainFileName(identifier))
        return {};
    return QDir(m_iconsFolder).filePath(identifier + QStringLiteral(".tiff"));
}

QImage ApplicationsHelper::cachedIcon(const InstalledApplication &application) const
{
    const QString file = iconCacheFile(application.identifier);
    const QFileInfo cache(file);
    if (file.isEmpty() || !cache.isFile())
        return {};
    // An entry changed after its icon was cached may name another icon.
    if (!application.path.isEmpty() && QFileInfo(application.path).lastModified() > cache.lastModified())
        return {};
    QImageReader reader(file, "tiff");
    const QImage icon = reader.read();
    if (icon.size() != QSize(kIconSize, kIconSize))
        return {};
    return icon;
}

void ApplicationsHelper::storeIcon(const QString &identifier, const QImage &icon) const
{
    const QString file = iconCacheFile(identifier);
    if (file.isEmpty())
        return;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        qCWarning(lcSystem, "Icon cache file %s cannot be written: %s", qPrintable(file),
                  qPrintable(out.errorString()));
        return;
    }
    QImageWriter writer(&out, "tiff");
    writer.setCompression(1); // LZW
    if (!writer.write(icon) || !out.commit())
        qCWarning(lcSystem, "Icon cache file %s cannot be written: %s", qPrintable(file),
                  qPrintable(writer.errorString()));
}

QImage ApplicationsHelper::applicationIconForIdentifier(const QString &identifier)
{
    const auto known = m_icons.constFind(identifier);
    if (known != m_icons.constEnd())
        return *known;
    InstalledApplication application;
    {
        std::lock_guard guard(m_lock);
        const auto it = m_installed.constFind(identifier);
        if (it == m_installed.constEnd())
            return {};
        application = *it;
    }
    QImage icon = cachedIcon(application);
    if (icon.isNull()) {
        icon = m_catalog.icon(application, kIconSize);
        if (!icon.isNull())
            storeIcon(identifier, icon);
    }
    m_icons.insert(identifier, icon);
    return icon;
}

QStringList ApplicationsHelper::runningApplicationIdentifiers() const
{
    const std::optional<QSet<QString>> running = m_monitor.runningApplications();
    if (!running) {
        if (!std::exchange(m_runningUnknownLogged, true))
            qCWarning(lcSystem) << "The session does not tell which applications run; none are listed";
        return {};
    }
    m_runningUnknownLogged = false;
    QStringList identifiers(running->cbegin(), running->cend());
    sortByName(identifiers);
    return identifiers;
}

QString ApplicationsHelper::foregroundApplicationIdentifier() const
{
    return m_monitor.foregroundApplication();
}

} // namespace brevona
