#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

namespace brevona {

class FileEventWatcher;

// Tells when a watched file has been written (also when an editor saved it by renaming a new file
// over it) or an entry of a watched folder changed. Layer painting uses it to notice that an
// outside picture editor saved a layer picture. Main thread.
class FilesWatcher : public QObject
{
    Q_OBJECT
public:
    // On the system's file events; isValid() is false (logged once) when the system has none.
    explicit FilesWatcher(QObject *parent = nullptr);
    explicit FilesWatcher(std::unique_ptr<FileEventWatcher> events, QObject *parent = nullptr);
    ~FilesWatcher() override;

    bool isValid() const { return m_events != nullptr; }
    // Ignored when the path is watched already; false (logged) when it cannot be watched.
    bool addPath(const QString &path);
    // Ignored when the path is not watched.
    void removePath(const QString &path);
    QStringList paths() const;
    // Announces a path as modified.
    void notifyAboutPath(const QString &path);

Q_SIGNALS:
    void pathWasModified(const QString &path);

private:
    std::unique_ptr<FileEventWatcher> m_events;
};

} // namespace brevona
