#pragma once

#include <QObject>

class QFileSystemWatcher;
class QTimer;

namespace brevona {

class DesktopEntries;

// Reads the desktop entries again a moment after one of their folders changed (installers write
// several files in a row), so that windows that appear from then on are matched against the new
// entries. The entries must outlive it.
class DesktopEntriesWatch : public QObject
{
    Q_OBJECT
public:
    explicit DesktopEntriesWatch(DesktopEntries &entries, QObject *parent = nullptr);

private:
    QFileSystemWatcher *m_folders = nullptr;
    QTimer *m_reload = nullptr;
};

} // namespace brevona
