#include "FakeApplicationCatalog.h"

namespace brevona {

std::vector<InstalledApplication> FakeApplicationCatalog::installedApplications()
{
    std::lock_guard guard(m_lock);
    return m_applications;
}

std::optional<InstalledApplication> FakeApplicationCatalog::application(const QString &identifier)
{
    std::lock_guard guard(m_lock);
    for (const InstalledApplication &application : m_applications) {
        if (application.identifier == identifier)
            return application;
    }
    return std::nullopt;
}

std::vector<InstalledApplication> FakeApplicationCatalog::editorsFor(const QString &)
{
    return {};
}

std::optional<InstalledApplication> FakeApplicationCatalog::defaultApplicationFor(const QString &mimeType)
{
    QString identifier;
    {
        std::lock_guard guard(m_lock);
        identifier = m_defaults.value(mimeType);
    }
    return identifier.isEmpty() ? std::nullopt : application(identifier);
}

std::optional<InstalledApplication> FakeApplicationCatalog::applicationAtPath(const QString &path)
{
    std::lock_guard guard(m_lock);
    for (const InstalledApplication &application : m_applications) {
        if (application.path == path)
            return application;
    }
    return std::nullopt;
}

QImage FakeApplicationCatalog::icon(const InstalledApplication &application, int size)
{
    const QColor colour = QColor::fromString(application.icon);
    if (!application.icon.startsWith(QLatin1Char('#')) || !colour.isValid() || size <= 0)
        return {};
    QImage picture(size, size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(colour);
    return picture;
}

bool FakeApplicationCatalog::openFiles(const InstalledApplication &application, const QStringList &files)
{
    if (!this->application(application.identifier))
        return false;
    std::lock_guard guard(m_lock);
    m_opened.emplace_back(application.identifier, files);
    return true;
}

std::vector<std::pair<QString, QStringList>> FakeApplicationCatalog::opened()
{
    std::lock_guard guard(m_lock);
    return m_opened;
}

void FakeApplicationCatalog::add(const InstalledApplication &application)
{
    std::lock_guard guard(m_lock);
    m_applications.push_back(application);
}

void FakeApplicationCatalog::setDefault(const QString &mimeType, const QString &identifier)
{
    std::lock_guard guard(m_lock);
    m_defaults.insert(mimeType, identifier);
}

} // namespace brevona
