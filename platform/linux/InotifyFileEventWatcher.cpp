#include "InotifyFileEventWatcher.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcFileEvents, "brevona.platform.files")

namespace brevona {

namespace {

constexpr quint32 kFolderMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// What a watched file reports: written and closed, or replaced by a rename.
constexpr quint32 kFileChanges = IN_CLOSE_WRITE | IN_MOVED_TO;
// What a watched folder reports.
constexpr quint32 kFolderChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE;
// The watch is gone or no longer names the folder.
constexpr quint32 kWatchGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
constexpr int kRetryMs = 500;

QString childPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

std::unique_ptr<InotifyFileEventWatcher> InotifyFileEventWatcher::create()
{
    const int descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor < 0) {
        qCWarning(lcFileEvents, "File events cannot be watched: inotify_init1: %s", std::strerror(errno));
        return nullptr;
    }
    return std::unique_ptr<InotifyFileEventWatcher>(new InotifyFileEventWatcher(descriptor));
}

InotifyFileEventWatcher::InotifyFileEventWatcher(int descriptor)
    : m_descriptor(descriptor)
{
    m_notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InotifyFileEventWatcher::readEvents);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &InotifyFileEventWatcher::watchLostFolders);
}

InotifyFileEventWatcher::~InotifyFileEventWatcher()
{
    m_notifier->setEnabled(false);
    ::close(m_descriptor);
}

bool InotifyFileEventWatcher::addPath(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        qCWarning(lcFileEvents, "Could not open %s: no such file or folder", qPrintable(path));
        return false;
    }
    const QString normalised = QDir::cleanPath(info.absoluteFilePath());
    if (m_paths.contains(normalised))
        return true;
    const bool isFolder = info.isDir();
    const QString folder = isFolder ? normalised : QDir::cleanPath(info.absolutePath());
    Folder &state = m_folders[folder];
    if (state.watch < 0 && !watchFolder(folder, state)) {
        qCWarning(lcFileEvents, "Could not watch %s: %s", qPrintable(path), std::strerror(errno));
        releaseFolderIfUnused(folder);
        return false;
    }
    if (isFolder)
        state.itself = true;
    else
        state.files.insert(info.fileName());
    m_paths.insert(normalised, {path, folder, isFolder ? QString() : info.fileName()});
    return true;
}

bool InotifyFileEventWatcher::removePath(const QString &path)
{
    const QString normalised = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const auto it = m_paths.constFind(normalised);
    if (it == m_paths.constEnd())
        return false;
    const Watched watched = *it;
    m_paths.erase(it);
    Folder &state = m_folders[watched.folder];
    if (watched.name.isEmpty())
        state.itself = false;
    else
        state.files.remove(watched.name);
    releaseFolderIfUnused(watched.folder);
    return true;
}

QStringList InotifyFileEventWatcher::paths() const
{
    QStringList result;
    for (const Watched &watched : m_paths)
        result.append(watched.original);
    result.sort();
    return result;
}

bool InotifyFileEventWatcher::watchFolder(const QString &folder, Folder &state)
{
    const int watch = inotify_add_watch(m_descriptor, QFile::encodeName(folder).constData(), kFolderMask);
    if (watch < 0)
        return false;
    state.watch = watch;
    // Two names of one folder (through a link) share the kernel's watch.
    QStringList &folders = m_foldersOfWatch[watch];
    if (!folders.contains(folder))
        folders.append(folder);
    return true;
}

void InotifyFileEventWatcher::forgetWatch(const QString &folder, Folder &state)
{
    if (state.watch < 0)
        return;
    const int watch = std::exchange(state.watch, -1);
    const auto it = m_foldersOfWatch.find(watch);
    if (it != m_foldersOfWatch.end()) {
        it->removeAll(folder);
        if (it->isEmpty()) {
            m_foldersOfWatch.erase(it);
            // Already gone when the kernel dropped it; still needed after a rename of the folder.
            inotify_rm_watch(m_descriptor, watch);
        }
    }
}

void InotifyFileEventWatcher::releaseFolderIfUnused(const QString &folder)
{
    const auto it = m_folders.find(folder);
    if (it == m_folders.end() || it->itself || !it->files.isEmpty())
        return;
    forgetWatch(folder, *it);
    m_folders.erase(it);
}

void InotifyFileEventWatcher::readEvents()
{
    QStringList changed;
    const auto note = [&changed](const QString &path) {
        if (!changed.contains(path))
            changed.append(path);
    };
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t size = ::read(m_descriptor, buffer, sizeof buffer);
        if (size < 0 && errno == EINTR)
            continue;
        if (size <= 0)
            break;
        for (const char *at = buffer; at < buffer + size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(at);
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                // Events were lost: every path may have changed.
                for (auto it = m_paths.cbegin(); it != m_paths.cend(); ++it)
                    note(it.key());
                continue;
            }
            const QString name = event->len ? QFile::decodeName(event->name) : QString();
            const QStringList folders = m_foldersOfWatch.value(event->wd);
            for (const QString &folder : folders) {
                const auto it = m_folders.find(folder);
                if (it == m_folders.end())
                    continue;
                if (!name.isEmpty() && (event->mask & kFileChanges) && it->files.contains(name))
                    note(childPath(folder, name));
                if (!name.isEmpty() && (event->mask & kFolderChanges) && it->itself)
                    note(folder);
                if (event->mask & kWatchGone) {
                    if (it->itself)
                        note(folder);
                    forgetWatch(folder, *it);
                    qCInfo(lcFileEvents, "Watched folder %s is gone; it is watched again once it is back",
                           qPrintable(folder));
                    m_retry.start();
                }
            }
        }
    }
    report(changed);
}

void InotifyFileEventWatcher::watchLostFolders()
{
    QStringList changed;
    bool lost = false;
    for (auto it = m_folders.begin(); it != m_folders.end(); ++it) {
        if (it->watch >= 0)
            continue;
        if (!watchFolder(it.key(), *it)) {
            lost = true;
            continue;
        }
        // What happened while nobody watched is unknown: the paths report once.
        if (it->itself)
            changed.append(it.key());
        for (const QString &name : std::as_const(it->files)) {
            if (QFileInfo::exists(childPath(it.key(), name)))
                changed.append(childPath(it.key(), name));
        }
    }
    if (!lost)
        m_retry.stop();
    report(changed);
}

void InotifyFileEventWatcher::report(const QStringList &normalisedPaths)
{
    for (const QString &path : normalisedPaths) {
        // A receiver may stop watching other paths meanwhile.
        const auto it = m_paths.constFind(path);
        if (it != m_paths.constEnd())
            Q_EMIT pathChanged(it->original);
    }
}

} // namespace brevona
