#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QHash>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

Q_DECLARE_LOGGING_CATEGORY(lcDesktopEntries)

namespace brevona {

// What a window tells about the program that made it.
struct WindowIdentity
{
    QString gtkApplicationId; // _GTK_APPLICATION_ID
    QString wmInstance;       // WM_CLASS, first string
    QString wmClass;          // WM_CLASS, second string
    QString executable;       // the process's executable, resolved; empty when unknown
};

// The installed applications' desktop entries, which give applications their identifiers: the
// desktop entry id (the file's path below an "applications" folder with "/" turned into "-" and
// without ".desktop"). Where two folders hold the same id the earlier folder wins, as in the XDG
// search order.
class DesktopEntries
{
public:
    struct Entry
    {
        QString id;
        QString path; // the file it was read from; empty for an entry parsed from text
        QString startupWMClass;
        // The program of "Exec" (or "TryExec"), found on PATH and with links resolved; empty when
        // it cannot be found.
        QString executable;
        QString name;                           // "Name"
        QHash<QString, QString> localisedNames; // "Name[de_CH]" as "de_CH" -> value
        QString icon;                           // "Icon": an icon-theme name or an absolute path
        bool noDisplay = false;                 // "NoDisplay": not offered in menus
        QStringList mimeTypes;                  // "MimeType": the types it opens
        QStringList categories;                 // "Categories"
        QString exec;                           // "Exec", unescaped

        // The name in a locale ("de_CH.UTF-8@euro" style, as LC_MESSAGES gives it), matched as
        // desktop entries prescribe: language_COUNTRY@MODIFIER, language_COUNTRY,
        // language@MODIFIER, language, then the plain name.
        QString nameForLocale(const QString &locale) const;
    };

    // Whether Entry::executable is looked up: matching windows needs it, listing does not, and it
    // costs a search of PATH per entry.
    enum class Executables
    {
        Resolve,
        Skip,
    };

    // `folders` empty: the "applications" folders of $XDG_DATA_HOME and $XDG_DATA_DIRS.
    explicit DesktopEntries(QStringList folders = {}, Executables executables = Executables::Resolve);

    // Reads the folders again.
    void reload();
    const QStringList &folders() const { return m_folders; }
    const QHash<QString, Entry> &entries() const { return m_entries; }

    // The entry a window belongs to: the GTK application id when an entry has it; else the entry
    // whose "StartupWMClass" is the window's class or instance; else the entry whose id is the
    // class or instance (or, for a reverse-domain id, ends in it), compared without case; else the
    // entry that runs the window's executable. Nothing when no entry fits.
    std::optional<QString> match(const WindowIdentity &window) const;
    // The identifier a window's application goes by: its entry's id, else its GTK application id,
    // class, instance or executable's file name, in that order. Empty when the window tells nothing.
    QString identifierFor(const WindowIdentity &window) const;

    // The entry of an application read from one file (also one outside the folders, with the id
    // its file name gives); nothing, with one log line for a broken or huge file, otherwise.
    static std::optional<Entry> read(const QString &path, const QString &id,
                                     Executables executables = Executables::Resolve);

    // One entry from the text of its file; nothing for anything but an application entry that is
    // not hidden.
    static std::optional<Entry> parse(const QString &id, const QByteArray &contents,
                                      Executables executables = Executables::Resolve);
    // The program an "Exec" line runs (its first word, after an "env" prefix with its
    // assignments), unquoted; empty when the line has none.
    static QString programOfExec(const QString &exec);
    // The program and arguments that open `files` with the entry: its "Exec" words with the field
    // codes filled in (%f/%u the first file, %F/%U all of them, %i the icon, %c the name, %k the
    // entry's file; the deprecated ones dropped). An "Exec" without a file code gets the files at
    // its end, since editors are asked to open one. Empty when "Exec" names no program.
    static QStringList commandLine(const Entry &entry, const QStringList &files);

private:
    QStringList m_folders;
    Executables m_executables;
    QHash<QString, Entry> m_entries;
    // Sorted by id, so that ties are broken the same way in every run.
    std::vector<Entry> m_sorted;
};

} // namespace brevona
