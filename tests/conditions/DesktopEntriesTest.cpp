#include <optional>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "InputLanguageSource.h"
#include "linux/DesktopEntries.h"
#include "linux/X11LanguageSource.h"
#include "linux/XdgApplicationCatalog.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;

namespace {

// ---------------------------------------------------------------- reading entries

struct ParseRow
{
    const char *name;
    QByteArray text;
    const char *wmClass = "";
    const char *program = ""; // what "Exec" names, resolved on this machine; none: no application
};

class DesktopEntryParseTest : public ::testing::TestWithParam<ParseRow>
{
};

TEST_P(DesktopEntryParseTest, ReadsTheMainGroup)
{
    const auto entry = DesktopEntries::parse(QStringLiteral("x"), GetParam().text);
    ASSERT_EQ(entry.has_value(), *GetParam().program != '\0');
    if (!entry)
        return;
    EXPECT_EQ(entry->startupWMClass, QLatin1String(GetParam().wmClass));
    EXPECT_EQ(entry->executable,
              QFileInfo(QStandardPaths::findExecutable(GetParam().program)).canonicalFilePath());
}

const QByteArray kApp = "[Desktop Entry]\nType=Application\n";

// clang-format off
const ParseRow kParseRows[] = {
    {.name = "Plain", .text = kApp + "Name=Sh\nExec=sh -c true\nStartupWMClass=Shell\n", .wmClass = "Shell", .program = "sh"},
    {.name = "EnvPrefixAndQuotes", .text = kApp + "Exec=env A=1 B=\"2 3\" \"sh\" %U\n", .program = "sh"},
    {.name = "OtherGroupsIgnored", .text = "[Desktop Action new]\nExec=true\nStartupWMClass=W\n" + kApp + "Exec=sh\n", .program = "sh"},
    {.name = "LocalisedKeysIgnored", .text = kApp + "StartupWMClass[de]=F\nStartupWMClass = Right\nExec=sh\n", .wmClass = "Right", .program = "sh"},
    {.name = "EscapedSpace", .text = kApp + "StartupWMClass=Two\\sWords\nExec=sh\n", .wmClass = "Two Words", .program = "sh"},
    {.name = "TryExecWhenExecIsMissing", .text = kApp + "Exec=no-such-program-here\nTryExec=sh\n", .program = "sh"},
    {.name = "HiddenIsDeleted", .text = kApp + "Exec=sh\nHidden=true\n"},
    {.name = "LinkIsNoApplication", .text = "[Desktop Entry]\nType=Link\nURL=https://example.org\n"},
    {.name = "NoMainGroup", .text = "Type=Application\nExec=sh\n"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, DesktopEntryParseTest, ::testing::ValuesIn(kParseRows),
                         brevona::test::RowName());

// ---------------------------------------------------------------- matching windows

class DesktopEntriesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(user.isValid());
        ASSERT_TRUE(system.isValid());
        write(user.path(), "org.example.Editor.desktop", "StartupWMClass=EditorMain\nExec=no-such-editor\n");
        write(user.path(), "terminal.desktop", "Exec=no-such-terminal\n");
        write(user.path(), "kde/viewer.desktop", "Exec=no-such-viewer\n");
        write(user.path(), "shell.desktop", "Exec=sh\n");
        // The same id in a later folder is hidden by the earlier one, even by a deleted entry.
        write(user.path(), "gone.desktop", "Exec=sh\nHidden=true\n");
        write(system.path(), "gone.desktop", "Exec=sh\n");
        write(system.path(), "terminal.desktop", "StartupWMClass=Wrong\n");
        write(system.path(), "org.gnome.Files.desktop", "Exec=no-such-files\n");
    }

    static void write(const QString &folder, const QString &name, const QByteArray &body)
    {
        const QString path = QDir(folder).filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=X\n" + body);
    }

    QTemporaryDir user;
    QTemporaryDir system;
};

struct MatchRow
{
    const char *name;
    WindowIdentity window;
    const char *entry; // empty: none
    const char *identifier;
};

class DesktopEntryMatchTest : public DesktopEntriesTest, public ::testing::WithParamInterface<MatchRow>
{
};

TEST_P(DesktopEntryMatchTest, FindsTheEntryOfAWindow)
{
    DesktopEntries entries({user.path(), system.path()});
    WindowIdentity window = GetParam().window;
    if (window.executable == QLatin1String("sh"))
        window.executable = QFileInfo(QStandardPaths::findExecutable("sh")).canonicalFilePath();
    EXPECT_EQ(entries.match(window).value_or(QString()), QLatin1String(GetParam().entry));
    EXPECT_EQ(entries.identifierFor(window), QLatin1String(GetParam().identifier));
}

// Windows as {application id, instance, class, executable}.
// clang-format off
const MatchRow kMatchRows[] = {
    {.name = "ApplicationId", .window = {"org.gnome.Files", "x", "X", {}}, .entry = "org.gnome.Files", .identifier = "org.gnome.Files"},
    {.name = "IdWithoutEntryFallsThrough", .window = {"org.example.None", "editormain", "EditorMain", {}}, .entry = "org.example.Editor", .identifier = "org.example.Editor"},
    {.name = "WMClassOfTheClass", .window = {{}, "main", "EditorMain", {}}, .entry = "org.example.Editor", .identifier = "org.example.Editor"},
    {.name = "WMClassOfTheInstance", .window = {{}, "EditorMain", "Other", {}}, .entry = "org.example.Editor", .identifier = "org.example.Editor"},
    {.name = "FileNameWithoutCase", .window = {{}, "terminal", "Terminal", {}}, .entry = "terminal", .identifier = "terminal"},
    {.name = "FileNameInASubfolder", .window = {{}, "kde-viewer", "Kde-viewer", {}}, .entry = "kde-viewer", .identifier = "kde-viewer"},
    {.name = "LastPartOfADomainId", .window = {{}, "files", "Files", {}}, .entry = "org.gnome.Files", .identifier = "org.gnome.Files"},
    {.name = "Executable", .window = {{}, "dash", "Dash", "sh"}, .entry = "shell", .identifier = "shell"},
    {.name = "DeletedEntryHidesLaterOne", .window = {{}, "gone", "Gone", {}}, .entry = "", .identifier = "Gone"},
    {.name = "NoEntryApplicationId", .window = {"org.example.None", {}, {}, {}}, .entry = "", .identifier = "org.example.None"},
    {.name = "NothingKnown", .window = {}, .entry = "", .identifier = ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, DesktopEntryMatchTest, ::testing::ValuesIn(kMatchRows),
                         brevona::test::RowName());

TEST_F(DesktopEntriesTest, EarlierFoldersWinAndReloadSeesNewEntries)
{
    DesktopEntries entries({user.path(), system.path()});
    write(user.path(), "late.desktop", "StartupWMClass=Late\n");
    EXPECT_FALSE(entries.match({{}, {}, "Late", {}}));
    entries.reload();
    EXPECT_EQ(entries.match({{}, {}, "Late", {}}), QString("late"));
}

// ---------------------------------------------------------------- opening files

struct CommandRow
{
    const char *name;
    QString exec;
    QString icon = QString();
    QStringList files;
    QStringList command;
};

class CommandLineTest : public ::testing::TestWithParam<CommandRow>
{
};

TEST_P(CommandLineTest, FillsInTheFieldCodes)
{
    DesktopEntries::Entry entry;
    entry.exec = GetParam().exec;
    entry.icon = GetParam().icon;
    entry.name = "Paint";
    entry.path = "/apps/paint.desktop";
    EXPECT_EQ(DesktopEntries::commandLine(entry, GetParam().files), GetParam().command);
}

// clang-format off
const CommandRow kCommandRows[] = {
    {.name = "OneFile", .exec = "paint %f", .files = {"/p/a b.tiff"}, .command = {"paint", "/p/a b.tiff"}},
    {.name = "FileAsUrl", .exec = "paint %u", .files = {"/p/a b.tiff"}, .command = {"paint", "file:///p/a%20b.tiff"}},
    {.name = "AllFiles", .exec = "paint --new %F --end", .files = {"/a", "/b"}, .command = {"paint", "--new", "/a", "/b", "--end"}},
    {.name = "NoFileCodeTakesTheFilesLast", .exec = "paint --new", .files = {"/a"}, .command = {"paint", "--new", "/a"}},
    {.name = "IconNameAndEntry", .exec = "paint %i --title=%c %k %f", .icon = "paint-icon", .files = {"/a"}, .command = {"paint", "--icon", "paint-icon", "--title=Paint", "/apps/paint.desktop", "/a"}},
    {.name = "NoIconNoOption", .exec = "paint %i %f", .files = {"/a"}, .command = {"paint", "/a"}},
    {.name = "DeprecatedDroppedPercentKept", .exec = "paint %d %m 100%% %f", .files = {"/a"}, .command = {"paint", "100%", "/a"}},
    {.name = "QuotedProgramWithSpaces", .exec = "\"/opt/My Paint/paint\" %f", .files = {"/a"}, .command = {"/opt/My Paint/paint", "/a"}},
    {.name = "NoExec", .exec = "", .files = {"/a"}, .command = {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, CommandLineTest, ::testing::ValuesIn(kCommandRows), brevona::test::RowName());

// The program gets the file name as one argument, whatever it holds: no shell reads it.
TEST(XdgApplicationCatalogTest, OpensFilesWithTheEntrysProgramWithoutAShell)
{
    QTemporaryDir dir;
    const QString script = dir.filePath("record.sh");
    QFile program(script);
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write(
        "#!/bin/sh\nout=\"$1\"; shift\nprintf '%s\\n' \"$@\" > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
    program.close();
    ASSERT_TRUE(program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QFile entry(dir.filePath("record.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write(QString("[Desktop Entry]\nType=Application\nName=Record\nExec=%1 %2 %f\n")
                    .arg(script, dir.filePath("arguments"))
                    .toUtf8());
    entry.close();

    XdgApplicationCatalog catalog({dir.path()});
    const auto application = catalog.application("record");
    ASSERT_TRUE(application);
    const QString file = dir.filePath("a b; touch pwned $(touch pwned).tiff");
    ASSERT_TRUE(catalog.openFiles(*application, {file}));
    ASSERT_TRUE(brevona::test::waitUntil([&] { return QFile::exists(dir.filePath("arguments")); }));
    QFile arguments(dir.filePath("arguments"));
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_EQ(arguments.readAll(), (file + "\n").toUtf8());
    EXPECT_FALSE(QFile::exists(dir.filePath("pwned")));
    EXPECT_FALSE(QFile::exists("pwned"));

    EXPECT_FALSE(catalog.openFiles({"gone", "Gone", {}, {}}, {file}));
}

// ---------------------------------------------------------------- XKB layout names

template<std::size_t N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

struct RulesRow
{
    const char *name;
    QByteArray value;
    QStringList layouts;
};

class RulesNamesTest : public ::testing::TestWithParam<RulesRow>
{
};

TEST_P(RulesNamesTest, ListsTheLayouts)
{
    EXPECT_EQ(X11LanguageSource::layoutsOfRulesNames(GetParam().value), GetParam().layouts);
}

// clang-format off
const RulesRow kRulesRows[] = {
    {.name = "One", .value = bytes("evdev\0pc105\0us\0\0\0"), .layouts = {"us"}},
    {.name = "TwoWithVariant", .value = bytes("evdev\0pc105\0us,de\0,nodeadkeys\0grp:alt_shift_toggle\0"), .layouts = {"us", "de(nodeadkeys)"}},
    {.name = "FewerVariantsThanLayouts", .value = bytes("evdev\0pc105\0us,de,fr\0intl\0\0"), .layouts = {"us(intl)", "de", "fr"}},
    {.name = "Truncated", .value = bytes("evdev\0pc105"), .layouts = {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, RulesNamesTest, ::testing::ValuesIn(kRulesRows), brevona::test::RowName());

} // namespace
