#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

namespace brevona {

// The kernel's file events for a few files and folders. A watched file reports when it has been
// written, also when an editor saves it by writing a new file and renaming it over the old one; a
// watched folder reports when an entry in it is added, removed, renamed or written. Events that
// arrive together are reported once per path, so a burst of writes gives one report or more, never
// none. Main thread.
class FileEventWatcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~FileEventWatcher() override;

    // Starts watching a file or folder that exists; true also when it is watched already. False,
    // with one log line, when it cannot be watched.
    virtual bool addPath(const QString &path) = 0;
    // Stops watching; false when the path was not watched.
    virtual bool removePath(const QString &path) = 0;
    // The watched paths, as they were added.
    virtual QStringList paths() const = 0;

    // A watcher on the system's file events; nothing, with one log line, when the system offers
    // none.
    static std::unique_ptr<FileEventWatcher> create();

Q_SIGNALS:
    void pathChanged(const QString &path);
};

} // namespace brevona
