#include "FilesWatcher.h"

#include "FileEventWatcher.h"
#include "SystemLogging.h"

namespace brevona {

FilesWatcher::FilesWatcher(QObject *parent)
    : FilesWatcher(FileEventWatcher::create(), parent)
{}

FilesWatcher::FilesWatcher(std::unique_ptr<FileEventWatcher> events, QObject *parent)
    : QObject(parent)
    , m_events(std::move(events))
{
    if (m_events)
        connect(m_events.get(), &FileEventWatcher::pathChanged, this, &FilesWatcher::notifyAboutPath);
}

FilesWatcher::~FilesWatcher() = default;

bool FilesWatcher::addPath(const QString &path)
{
    if (!m_events) {
        qCWarning(lcSystem, "Files cannot be watched here; %s is not watched", qPrintable(path));
        return false;
    }
    return m_events->addPath(path);
}

void FilesWatcher::removePath(const QString &path)
{
    if (m_events)
        m_events->removePath(path);
}

QStringList FilesWatcher::paths() const
{
    return m_events ? m_events->paths() : QStringList();
}

void FilesWatcher::notifyAboutPath(const QString &path)
{
    Q_EMIT pathWasModified(path);
}

} // namespace brevona
