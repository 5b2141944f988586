#pragma once

#include <optional>
#include <vector>

#include <QImage>
#include <QString>
#include <QStringList>

namespace brevona {

// An application installed for the user: its identifier (what conditions store), its name in the
// user's language, the file that describes it and its icon (a name the icon theme resolves, or a
// file).
struct InstalledApplication
{
    QString identifier;
    QString name;
    QString path;
    QString icon;

    bool operator==(const InstalledApplication &) const = default;
};

// The applications installed on the system. The lists may take a while to read and may be read
// on any thread; icons are drawn on the main thread.
class ApplicationCatalog
{
public:
    virtual ~ApplicationCatalog();

    // The applications offered to the user to start, in no particular order.
    virtual std::vector<InstalledApplication> installedApplications() = 0;
    // One application by identifier, also one that is not offered in menus, as the last reading of
    // the list found it (the first call reads the list); nothing when unknown.
    virtual std::optional<InstalledApplication> application(const QString &identifier) = 0;
    // The applications offered to edit files of a MIME type, picture viewers left out, sorted by
    // name.
    virtual std::vector<InstalledApplication> editorsFor(const QString &mimeType) = 0;
    // The application the desktop opens files of a MIME type with ("inode/directory": the file
    // manager); nothing when no installed application takes the type.
    virtual std::optional<InstalledApplication> defaultApplicationFor(const QString &mimeType) = 0;
    // The application a file describes; nothing (with one log line) when it describes none.
    virtual std::optional<InstalledApplication> applicationAtPath(const QString &path) = 0;
    // The application's icon drawn into size x size pixels; a null image when it has none.
    virtual QImage icon(const InstalledApplication &application, int size) = 0;
    // Starts the application on `files` as the desktop would, without a shell; false (with one log
    // line) when it names no program or cannot be started.
    virtual bool openFiles(const InstalledApplication &application, const QStringList &files) = 0;

    // The process-wide instance: the desktop's unless a test installed another (the caller keeps
    // ownership; nullptr returns to the desktop's).
    static ApplicationCatalog &instance();
    static void setInstance(ApplicationCatalog *catalog);
};

} // namespace brevona
