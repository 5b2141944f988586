#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include <QFutureWatcher>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include "ApplicationCatalog.h"

namespace brevona {

class ApplicationMonitor;
class PreferencesStore;

// The installed applications the condition editor and the preferences offer: identifier, name,
// path and a 16 x 16 icon. The list is read on a background thread, grows with the applications
// the user adds by hand (the preference "CustomApplicationsBundlesList"), and never shrinks while
// the program runs. "ApplicationsHelperDidUpdateList" is posted on the main thread after each scan
// and whenever an addition grew the list. Icons are kept in memory and, as TIFF, in the cache
// folder. The running applications come from the session's application monitor.
class ApplicationsHelper : public QObject
{
    Q_OBJECT
public:
    static constexpr int kIconSize = 16;

    // Starts the scan at once. `cachesFolder`: where the "AppIcons" folder goes.
    ApplicationsHelper(ApplicationCatalog &catalog, ApplicationMonitor &monitor,
                       PreferencesStore &preferences, const QString &cachesFolder, QObject *parent = nullptr);
    // Waits for a running scan.
    ~ApplicationsHelper() override;

    // The process-wide helper on the session's services, created on first use. Main thread.
    static ApplicationsHelper &shared();

    // Starts a background scan; one asked for while another runs follows it.
    void updateInstalledApplicationsList();
    bool isScanning() const;
    // Adds the applications of "CustomApplicationsBundlesList" that the system knows.
    void addCustomApplications();
    // Adds the application a file describes and gives its identifier; nothing when it describes
    // none.
    std::optional<QString> addApplicationAtPath(const QString &path);
    // The application the desktop opens files of the type with, added to the list so that its name
    // is known at once; empty when there is none.
    QString defaultApplicationForType(const QString &mimeType);
    // Runs the event loop until the scan under way (if any) is merged: for a program that asks
    // once and ends.
    void waitForScan();

    // All identifiers, sorted by name.
    QStringList applicationIdentifiers() const;
    // Empty for an unknown identifier.
    QString applicationNameForIdentifier(const QString &identifier) const;
    QString applicationPathForIdentifier(const QString &identifier) const;
    // A null image for an unknown identifier or an application without icon.
    QImage applicationIconForIdentifier(const QString &identifier);

    // The applications that run now, sorted by name; empty when the session cannot tell.
    QStringList runningApplicationIdentifiers() const;
    // Empty when none is in front or the session cannot tell.
    QString foregroundApplicationIdentifier() const;

    // Orders identifiers by their applications' names, without regard to case; an identifier
    // without a name counts by itself.
    void sortByName(QStringList &identifiers) const;

private:
    struct ScanResult
    {
        std::vector<InstalledApplication> installed;
        std::vector<InstalledApplication> custom;
    };

    void startScan();
    void scanFinished();
    // Adds under the lock; true when the list grew.
    bool merge(const std::vector<InstalledApplication> &applications);
    void postListUpdate();
    QString iconCacheFile(const QString &identifier) const;
    QImage cachedIcon(const InstalledApplication &application) const;
    void storeIcon(const QString &identifier, const QImage &icon) const;

    ApplicationCatalog &m_catalog;
    ApplicationMonitor &m_monitor;
    PreferencesStore &m_preferences;
    const QString m_iconsFolder;

    mutable std::mutex m_lock;
    QHash<QString, InstalledApplication> m_installed; // under m_lock
    QHash<QString, QImage> m_icons;                   // main thread; null: no icon
    QFutureWatcher<ScanResult> m_scan;
    bool m_scanAgain = false;
    bool m_scanPending = false; // started and not yet merged
    mutable bool m_runningUnknownLogged = false;
};

} // namespace brevona
