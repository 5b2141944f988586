#pragma once

#include <mutex>
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

    void add(const InstalledApplication &application);
    // The application `defaultApplicationFor` answers for the type; empty: none.
    void setDefault(const QString &mimeType, const QString &identifier);

private:
    std::mutex m_lock;
    std::vector<InstalledApplication> m_applications;
    QHash<QString, QString> m_defaults;
};

} // namespace brevona
