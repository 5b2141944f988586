#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include <QColor>
#include <QHash>

#include "ApplicationCatalog.h"

namespace brevona {

// Stands for the installed applications in tests: what was added is installed; an application
// whose icon names a colour ("#rrggbb") is drawn filled with it, any other has no icon.
// Thread-safe, as the desktop's catalog.
class FakeApplicationCatalog : public ApplicationCatalog
{
public:
    std::vector<InstalledApplication> installedApplications() override;
    std::optional<InstalledApplication> application(const QString &identifier) override;
    std::vector<InstalledApplication> editorsFor(const QString &mimeType) override;
    std::optional<InstalledApplication> defaultApplicationFor(const QString &mimeType) override;
    std::optional<InstalledApplication> applicationAtPath(const QString &path) override;
    QImage icon(const InstalledApplication &application, int size) override;
    // Records the request; false for an application that was not added.
    bool openFiles(const InstalledApplication &application, const QStringList &files) override;

    void add(const InstalledApplication &application);
    // The application `defaultApplicationFor` answers for the type; empty: none.
    void setDefault(const QString &mimeType, const QString &identifier);
    // What openFiles was asked, oldest first: the application's identifier and the files.
    std::vector<std::pair<QString, QStringList>> opened();

private:
    std::mutex m_lock;
    std::vector<InstalledApplication> m_applications;
    QHash<QString, QString> m_defaults;
    std::vector<std::pair<QString, QStringList>> m_opened;
};

} // namespace brevona
