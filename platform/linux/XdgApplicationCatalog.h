#pragma once

#include <mutex>
#include <optional>

#include <QHash>
#include <QStringList>

#include "ApplicationCatalog.h"
#include "linux/DesktopEntries.h"

namespace brevona {

// The applications of the XDG desktop entries: the identifier is the desktop entry id, the name
// the entry's "Name" in the user's language, the icon its "Icon" from the icon theme (or a file).
// Entries marked NoDisplay are not offered but can still be looked up by identifier. Thread-safe.
class XdgApplicationCatalog : public ApplicationCatalog
{
public:
    // `folders` empty: the "applications" folders of the XDG data folders at each reading.
    // `locale` empty: LC_ALL, LC_MESSAGES or LANG, the first one set, at each reading.
    explicit XdgApplicationCatalog(QStringList folders = {}, QString locale = {});

    std::vector<InstalledApplication> installedApplications() override;
    std::optional<InstalledApplication> application(const QString &identifier) override;
    std::vector<InstalledApplication> editorsFor(const QString &mimeType) override;
    // The first installed entry the "[Default Applications]" of the mimeapps.list files name for
    // the type (desktop-specific lists first, then the user's, then the system's), else the first
    // offered entry by name that lists the type.
    std::optional<InstalledApplication> defaultApplicationFor(const QString &mimeType) override;
    std::optional<InstalledApplication> applicationAtPath(const QString &path) override;
    QImage icon(const InstalledApplication &application, int size) override;
    // The entry's command line (DesktopEntries::commandLine), started detached with no standard
    // input and its output thrown away.
    bool openFiles(const InstalledApplication &application, const QStringList &files) override;

    // The locale the environment gives messages.
    static QString messagesLocale();
    // `image` scaled smoothly to fit size x size, centred on a transparent square.
    static QImage fitted(const QImage &image, int size);

private:
    InstalledApplication describe(const DesktopEntries::Entry &entry) const;
    QHash<QString, DesktopEntries::Entry> scan();
    QStringList mimeAppsLists() const;

    const QStringList m_folders;
    const QString m_locale;
    std::mutex m_lock;
    // Every entry of the last scan, also those not offered in menus.
    std::optional<QHash<QString, DesktopEntries::Entry>> m_entries;
};

} // namespace brevona
