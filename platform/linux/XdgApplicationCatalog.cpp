#include "XdgApplicationCatalog.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

namespace brevona {

namespace {

const QStringList kPictureSuffixes{QStringLiteral("png"), QStringLiteral("svg"), QStringLiteral("xpm")};

// Reads a picture no larger than it needs to be: an icon file may be of any size.
QImage readPicture(const QString &path, int size)
{
    QImageReader reader(path);
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > 4 * size || full.height() > 4 * size))
        reader.setScaledSize(full.scaled(4 * size, 4 * size, Qt::KeepAspectRatio));
    return reader.read();
}

// The picture of an icon name without a theme: the "pixmaps" folders of the XDG data folders.
QImage unthemedPicture(const QString &name, int size)
{
    for (const QString &suffix : kPictureSuffixes) {
        const QString file = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                    QStringLiteral("pixmaps/%1.%2").arg(name, suffix));
        if (file.isEmpty())
            continue;
        const QImage picture = readPicture(file, size);
        if (!picture.isNull())
            return picture;
    }
    return {};
}

// The desktop entry ids a mimeapps.list names as defaults for a type, in its order.
QStringList defaultsInList(const QString &path, const QString &mimeType)
{
    QFile file(path);
    // A configuration file, not a data dump: a huge one is skipped rather than read.
    if (file.size() > 1024 * 1024 || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inDefaults = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inDefaults = line == QLatin1String("[Default Applications]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inDefaults || equals < 0 || line.left(equals).trimmed() != mimeType)
            continue;
        QStringList ids;
        for (const QString &id : line.mid(equals + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString trimmed = id.trimmed();
            if (trimmed.endsWith(QLatin1String(".desktop")))
                trimmed.chop(qsizetype(sizeof(".desktop") - 1));
            if (!trimmed.isEmpty())
                ids.append(trimmed);
        }
        return ids;
    }
    return {};
}

} // namespace

XdgApplicationCatalog::XdgApplicationCatalog(QStringList folders, QString locale)
    : m_folders(std::move(folders))
    , m_locale(std::move(locale))
{}

QString XdgApplicationCatalog::messagesLocale()
{
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

InstalledApplication XdgApplicationCatalog::describe(const DesktopEntries::Entry &entry) const
{
    QString name = entry.nameForLocale(m_locale.isEmpty() ? messagesLocale() : m_locale);
    if (name.trimmed().isEmpty())
        name = entry.id;
    return {entry.id, name, entry.path, entry.icon};
}

QHash<QString, DesktopEntries::Entry> XdgApplicationCatalog::scan()
{
    DesktopEntries entries(m_folders, DesktopEntries::Executables::Skip);
    {
        std::lock_guard guard(m_lock);
        m_entries = entries.entries();
    }
    return entries.entries();
}

std::vector<InstalledApplication> XdgApplicationCatalog::installedApplications()
{
    const QHash<QString, DesktopEntries::Entry> entries = scan();
    std::vector<InstalledApplication> applications;
    applications.reserve(entries.size());
    for (const DesktopEntries::Entry &entry : entries) {
        if (!entry.noDisplay)
            applications.push_back(describe(entry));
    }
    return applications;
}

std::vector<InstalledApplication> XdgApplicationCatalog::editorsFor(const QString &mimeType)
{
    std::vector<InstalledApplication> editors;
    for (const DesktopEntries::Entry &entry : scan()) {
        // A viewer opens pictures too, but painting a layer in one would get nowhere.
        if (entry.noDisplay || !entry.mimeTypes.contains(mimeType) ||
            entry.categories.contains(QLatin1String("Viewer")))
            continue;
        editors.push_back(describe(entry));
    }
    std::sort(editors.begin(), editors.end(),
              [](const InstalledApplication &a, const InstalledApplication &b) {
                  const int order = QString::localeAwareCompare(a.name, b.name);
                  return order != 0 ? order < 0 : a.identifier < b.identifier;
              });
    return editors;
}

std::optional<InstalledApplication> XdgApplicationCatalog::application(const QString &identifier)
{
    // Looked up in the last scan; only the first lookup reads the folders.
    std::optional<QHash<QString, DesktopEntries::Entry>> entries;
    {
        std::lock_guard guard(m_lock);
        entries = m_entries;
    }
    if (!entries)
        entries = scan();
    const auto it = entries->constFind(identifier);
    if (it == entries->constEnd())
        return std::nullopt;
    return describe(*it);
}

QStringList XdgApplicationCatalog::mimeAppsLists() const
{
    QStringList names;
    for (const QString &desktop :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        names.append(desktop.toLower() + QStringLiteral("-mimeapps.list"));
    names.append(QStringLiteral("mimeapps.list"));
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    folders += m_folders.isEmpty() ? QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)
                                   : m_folders;
    QStringList lists;
    for (const QString &folder : std::as_const(folders)) {
        for (const QString &name : std::as_const(names))
            lists.append(QDir(folder).filePath(name));
    }
    return lists;
}

std::optional<InstalledApplication> XdgApplicationCatalog::defaultApplicationFor(const QString &mimeType)
{
    const QHash<QString, DesktopEntries::Entry> entries = scan();
    for (const QString &list : mimeAppsLists()) {
        for (const QString &id : defaultsInList(list, mimeType)) {
            const auto it = entries.constFind(id);
            if (it != entries.constEnd())
                return describe(*it);
        }
    }
    std::optional<InstalledApplication> first;
    for (const DesktopEntries::Entry &entry : entries) {
        if (entry.noDisplay || !entry.mimeTypes.contains(mimeType))
            continue;
        InstalledApplication candidate = describe(entry);
        if (!first || QString::localeAwareCompare(candidate.name, first->name) < 0 ||
            (candidate.name == first->name && candidate.identifier < first->identifier))
            first = std::move(candidate);
    }
    return first;
}

std::optional<InstalledApplication> XdgApplicationCatalog::applicationAtPath(const QString &path)
{
    const QFileInfo file(path);
    if (file.suffix() != QLatin1String("desktop") || !file.isFile()) {
        qCWarning(lcDesktopEntries, "%s is no desktop entry; no application is added", qPrintable(path));
        return std::nullopt;
    }
    // Inside an applications folder the id is the path below it, as for the entries found there.
    QString id = file.completeBaseName();
    const QStringList folders = m_folders.isEmpty()
                                    ? QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)
                                    : m_folders;
    for (const QString &folder : folders) {
        const QString relative = QDir(folder).relativeFilePath(file.absoluteFilePath());
        if (!relative.startsWith(QLatin1String("..")) && !QDir::isAbsolutePath(relative)) {
            id = relative.chopped(qsizetype(sizeof(".desktop") - 1));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            break;
        }
    }
    const std::optional<DesktopEntries::Entry> entry =
        DesktopEntries::read(file.absoluteFilePath(), id, DesktopEntries::Executables::Skip);
    if (!entry) {
        qCWarning(lcDesktopEntries,
                  "%s describes no application that can be started; no application is added",
                  qPrintable(path));
        return std::nullopt;
    }
    return describe(*entry);
}

QImage XdgApplicationCatalog::icon(const InstalledApplication &application, int size)
{
    const QString &icon = application.icon;
    if (icon.isEmpty() || size <= 0)
        return {};
    QImage picture;
    if (QDir::isAbsolutePath(icon)) {
        picture = readPicture(icon, size);
    } else {
        // Some entries name the icon with the extension of its file.
        QString name = icon;
        if (kPictureSuffixes.contains(QFileInfo(icon).suffix().toLower()))
            name = QFileInfo(icon).completeBaseName();
        // The icon theme is known to a graphical application only.
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
            const QIcon themed = QIcon::fromTheme(name);
            if (!themed.isNull())
                picture = themed.pixmap(QSize(size, size)).toImage();
        }
        if (picture.isNull())
            picture = unthemedPicture(name, size);
    }
    return picture.isNull() ? QImage() : fitted(picture, size);
}

QImage XdgApplicationCatalog::fitted(const QImage &image, int size)
{
    QImage square(size, size, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    const QImage scaled = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&square);
    painter.drawImage((size - scaled.width()) / 2, (size - scaled.height()) / 2, scaled);
    painter.end();
    return square;
}

bool XdgApplicationCatalog::openFiles(const InstalledApplication &application, const QStringList &files)
{
    QString path = application.path;
    if (path.isEmpty()) {
        if (const auto known = this->application(application.identifier))
            path = known->path;
    }
    const std::optional<DesktopEntries::Entry> entry =
        path.isEmpty()
            ? std::nullopt
            : DesktopEntries::read(path, application.identifier, DesktopEntries::Executables::Skip);
    const QStringList command = entry ? DesktopEntries::commandLine(*entry, files) : QStringList();
    if (command.isEmpty()) {
        qCWarning(lcDesktopEntries, "%s names no program to start; nothing was opened",
                  qPrintable(application.identifier));
        return false;
    }
    QProcess process;
    process.setProgram(command.first());
    process.setArguments(command.mid(1));
    // A detached program must not hold on to our pipes: whoever reads them would wait for it.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        qCWarning(lcDesktopEntries, "%s could not be started (%s)", qPrintable(command.first()),
                  qPrintable(process.errorString()));
        return false;
    }
    return true;
}

} // namespace brevona
