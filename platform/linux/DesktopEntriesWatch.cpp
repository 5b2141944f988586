#include "DesktopEntriesWatch.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include "linux/DesktopEntries.h"

namespace brevona {

namespace {

constexpr int kReloadDelayMilliseconds = 500;

} // namespace

DesktopEntriesWatch::DesktopEntriesWatch(DesktopEntries &entries, QObject *parent)
    : QObject(parent)
    , m_folders(new QFileSystemWatcher(this))
    , m_reload(new QTimer(this))
{
    for (const QString &folder : entries.folders()) {
        if (QFileInfo(folder).isDir())
            m_folders->addPath(folder);
    }
    m_reload->setSingleShot(true);
    m_reload->setInterval(kReloadDelayMilliseconds);
    connect(m_reload, &QTimer::timeout, this, [&entries] { entries.reload(); });
    connect(m_folders, &QFileSystemWatcher::directoryChanged, m_reload, qOverload<>(&QTimer::start));
}

} // namespace brevona
