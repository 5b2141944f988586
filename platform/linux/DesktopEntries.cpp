#include "DesktopEntries.h"

#include <algorithm>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>

Q_LOGGING_CATEGORY(lcDesktopEntries, "brevona.platform.applications")

namespace brevona {

namespace {

// Files larger than this are not desktop entries worth reading.
constexpr qint64 kMaxEntrySize = 1 << 20;

// The escapes of a desktop entry's string values.
QString unescapeValue(const QString &value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= value.size()) {
            result.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            result.append(QLatin1Char(' '));
            break;
        case 'n':
            result.append(QLatin1Char('\n'));
            break;
        case 't':
            result.append(QLatin1Char('\t'));
            break;
        case 'r':
            result.append(QLatin1Char('\r'));
            break;
        default:
            result.append(next);
            break;
        }
    }
    return result;
}

// The words of an Exec line up to `limit` words, with the quoting rules of desktop entries.
QStringList execWords(const QString &exec, int limit)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size() && words.size() < limit; ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                word.append(exec.at(++i));
            } else {
                word.append(c);
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            word.append(c);
            inWord = true;
        }
    }
    if (inWord && words.size() < limit)
        words.append(word);
    return words;
}

QString resolveProgram(const QString &program)
{
    if (program.isEmpty())
        return {};
    const QString found =
        program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        return {};
    const QString canonical = QFileInfo(found).canonicalFilePath();
    return canonical.isEmpty() ? found : canonical;
}

bool sameText(const QString &a, const QString &b)
{
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

DesktopEntries::DesktopEntries(QStringList folders, Executables executables)
    : m_folders(std::move(folders))
    , m_executables(executables)
{
    if (m_folders.isEmpty())
        m_folders = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    reload();
}

QString DesktopEntries::programOfExec(const QString &exec)
{
    // "env" may set variables before the program: env A=1 B=2 program ...
    const QStringList words = execWords(exec, 64);
    qsizetype i = 0;
    if (i < words.size() &&
        (words.at(i) == QLatin1String("env") || words.at(i).endsWith(QLatin1String("/env")))) {
        ++i;
        while (i < words.size() &&
               (words.at(i).contains(QLatin1Char('=')) || words.at(i).startsWith(QLatin1Char('-'))))
            ++i;
    }
    return i < words.size() ? words.at(i) : QString();
}

QStringList DesktopEntries::commandLine(const Entry &entry, const QStringList &files)
{
    const QStringList words = execWords(entry.exec, 256);
    if (words.isEmpty() || words.first().isEmpty())
        return {};
    const auto url = [](const QString &file) {
        return QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
    };
    QStringList command;
    bool filesPlaced = false;
    for (const QString &word : words) {
        if (word == QLatin1String("%F") || word == QLatin1String("%U")) {
            for (const QString &file : files)
                command << (word == QLatin1String("%F") ? file : url(file));
            filesPlaced = true;
            continue;
        }
        if (word == QLatin1String("%i")) {
            if (!entry.icon.isEmpty())
                command << QStringLiteral("--icon") << entry.icon;
            continue;
        }
        QString expanded;
        bool onlyCodes = true;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word.at(i) != QLatin1Char('%') || i + 1 >= word.size()) {
                expanded.append(word.at(i));
                onlyCodes = false;
                continue;
            }
            switch (word.at(++i).unicode()) {
            case 'f':
            case 'u':
                if (!files.isEmpty())
                    expanded.append(word.at(i) == QLatin1Char('f') ? files.first() : url(files.first()));
                filesPlaced = true;
                break;
            case 'c':
                expanded.append(entry.name);
                break;
            case 'k':
                expanded.append(entry.path);
                break;
            case '%':
                expanded.append(QLatin1Char('%'));
                onlyCodes = false;
                break;
            default: // %d, %D, %n, %N, %v, %m and unknown codes: nothing
                break;
            }
        }
        // A word that was nothing but codes with nothing to fill in is no argument at all.
        if (!expanded.isEmpty() || !onlyCodes)
            command << expanded;
    }
    if (!filesPlaced)
        command << files;
    return command;
}

std::optional<DesktopEntries::Entry> DesktopEntries::parse(const QString &id, const QByteArray &contents,
                                                           Executables executables)
{
    bool inMainGroup = false;
    QHash<QString, QString> values;
    QHash<QString, QString> localisedNames;
    for (const QByteArray &rawLine : contents.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        // Of the localised values ("Name[de]") only the name is of use.
        if (key.startsWith(QLatin1String("Name[")) && key.endsWith(QLatin1Char(']'))) {
            const QString locale = key.mid(5, key.size() - 6);
            if (!locale.isEmpty() && !localisedNames.contains(locale))
                localisedNames.insert(locale, unescapeValue(line.mid(equals + 1).trimmed()));
            continue;
        }
        if (key.contains(QLatin1Char('[')) || values.contains(key))
            continue;
        values.insert(key, unescapeValue(line.mid(equals + 1).trimmed()));
    }
    if (values.value(QStringLiteral("Type")) != QLatin1String("Application"))
        return std::nullopt;
    if (values.value(QStringLiteral("Hidden")) == QLatin1String("true"))
        return std::nullopt;
    Entry entry;
    entry.id = id;
    entry.name = values.value(QStringLiteral("Name"));
    entry.localisedNames = std::move(localisedNames);
    entry.icon = values.value(QStringLiteral("Icon"));
    entry.noDisplay = values.value(QStringLiteral("NoDisplay")) == QLatin1String("true");
    entry.startupWMClass = values.value(QStringLiteral("StartupWMClass"));
    entry.mimeTypes = values.value(QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    entry.categories = values.value(QStringLiteral("Categories")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    entry.exec = values.value(QStringLiteral("Exec"));
    if (executables == Executables::Skip)
        return entry;
    entry.executable = resolveProgram(programOfExec(values.value(QStringLiteral("Exec"))));
    if (entry.executable.isEmpty())
        entry.executable = resolveProgram(values.value(QStringLiteral("TryExec")));
    return entry;
}

std::optional<DesktopEntries::Entry> DesktopEntries::read(const QString &path, const QString &id,
                                                          Executables executables)
{
    QFile file(path);
    if (file.size() > kMaxEntrySize) {
        qCWarning(lcDesktopEntries, "Desktop entry %s is larger than %lld bytes; skipped", qPrintable(path),
                  kMaxEntrySize);
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcDesktopEntries, "Desktop entry %s cannot be read (%s); skipped", qPrintable(path),
                  qPrintable(file.errorString()));
        return std::nullopt;
    }
    const QByteArray contents = file.read(kMaxEntrySize);
    if (!contents.contains("[Desktop Entry]")) {
        qCWarning(lcDesktopEntries, "Desktop entry %s has no [Desktop Entry] group; skipped",
                  qPrintable(path));
        return std::nullopt;
    }
    auto entry = parse(id, contents, executables);
    if (entry)
        entry->path = path;
    return entry;
}

QString DesktopEntries::Entry::nameForLocale(const QString &locale) const
{
    // "language_COUNTRY.ENCODING@MODIFIER": the encoding plays no part in the match.
    QString base = locale.section(QLatin1Char('@'), 0, 0);
    const QString modifier =
        locale.contains(QLatin1Char('@')) ? locale.section(QLatin1Char('@'), 1) : QString();
    base = base.section(QLatin1Char('.'), 0, 0);
    const QString language = base.section(QLatin1Char('_'), 0, 0);
    const QString country = base.contains(QLatin1Char('_')) ? base.section(QLatin1Char('_'), 1) : QString();
    QStringList candidates;
    if (!country.isEmpty() && !modifier.isEmpty())
        candidates.append(language + QLatin1Char('_') + country + QLatin1Char('@') + modifier);
    if (!country.isEmpty())
        candidates.append(language + QLatin1Char('_') + country);
    if (!modifier.isEmpty())
        candidates.append(language + QLatin1Char('@') + modifier);
    candidates.append(language);
    for (const QString &candidate : std::as_const(candidates)) {
        const QString value = localisedNames.value(candidate);
        if (!candidate.isEmpty() && !value.isEmpty())
            return value;
    }
    return name;
}

void DesktopEntries::reload()
{
    m_entries.clear();
    // Ids hidden by an earlier folder stay hidden, also when the earlier file is no application.
    QSet<QString> seen;
    for (const QString &folder : std::as_const(m_folders)) {
        const QDir base(folder);
        QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                           QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (files.hasNext()) {
            const QString path = files.next();
            QString id = base.relativeFilePath(path);
            id.chop(qsizetype(sizeof(".desktop") - 1));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (id.isEmpty() || id.startsWith(QLatin1String("..")) || seen.contains(id))
                continue;
            seen.insert(id);
            if (auto entry = read(path, id, m_executables))
                m_entries.insert(id, *entry);
        }
    }
    m_sorted.assign(m_entries.cbegin(), m_entries.cend());
    std::sort(m_sorted.begin(), m_sorted.end(), [](const Entry &a, const Entry &b) { return a.id < b.id; });
}

std::optional<QString> DesktopEntries::match(const WindowIdentity &window) const
{
    if (!window.gtkApplicationId.isEmpty() && m_entries.contains(window.gtkApplicationId))
        return window.gtkApplicationId;
    for (const QString *name : {&window.wmClass, &window.wmInstance}) {
        if (name->isEmpty())
            continue;
        for (const Entry &entry : m_sorted) {
            if (entry.startupWMClass == *name)
                return entry.id;
        }
    }
    for (const QString *name : {&window.wmClass, &window.wmInstance}) {
        for (const Entry &entry : m_sorted) {
            if (sameText(entry.id, *name))
                return entry.id;
        }
        for (const Entry &entry : m_sorted) {
            if (entry.id.contains(QLatin1Char('.')) &&
                sameText(entry.id.section(QLatin1Char('.'), -1), *name))
                return entry.id;
        }
    }
    if (!window.executable.isEmpty()) {
        for (const Entry &entry : m_sorted) {
            if (entry.executable == window.executable)
                return entry.id;
        }
    }
    return std::nullopt;
}

QString DesktopEntries::identifierFor(const WindowIdentity &window) const
{
    if (auto id = match(window))
        return *id;
    if (!window.gtkApplicationId.isEmpty())
        return window.gtkApplicationId;
    if (!window.wmClass.isEmpty())
        return window.wmClass;
    if (!window.wmInstance.isEmpty())
        return window.wmInstance;
    return QFileInfo(window.executable).fileName();
}

} // namespace brevona
