#pragma once

#include <memory>

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include "FileEventWatcher.h"

class QSocketNotifier;

namespace brevona {

// inotify. Files are watched through their folder, by name, so that a file replaced by rename
// (the way most editors save) stays watched. A folder whose watch the kernel dropped (the folder
// was removed, renamed or unmounted) is watched again as soon as it exists again, and its paths
// then report once, since they may have changed meanwhile.
class InotifyFileEventWatcher : public FileEventWatcher
{
    Q_OBJECT
public:
    static std::unique_ptr<InotifyFileEventWatcher> create();
    ~InotifyFileEventWatcher() override;

    bool addPath(const QString &path) override;
    bool removePath(const QString &path) override;
    QStringList paths() const override;

private:
    struct Folder
    {
        int watch = -1; // -1 while the folder is gone
        QSet<QString> files;
        bool itself = false; // the folder is a watched path
    };

    explicit InotifyFileEventWatcher(int descriptor);
    bool watchFolder(const QString &folder, Folder &state);
    void forgetWatch(const QString &folder, Folder &state);
    void releaseFolderIfUnused(const QString &folder);
    void readEvents();
    void watchLostFolders();
    void report(const QStringList &normalisedPaths);

    int m_descriptor;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_retry;
    QHash<QString, Folder> m_folders;
    QHash<int, QStringList> m_foldersOfWatch;
    struct Watched
    {
        QString original; // as it was added
        QString folder;
        QString name; // empty for a watched folder
    };
    // By normalised path.
    QHash<QString, Watched> m_paths;
};

} // namespace brevona
