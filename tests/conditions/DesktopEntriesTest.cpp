#include <optional>
#include <ostream>
#include <string>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "InputLanguageSource.h"
#include "linux/DesktopEntries.h"
#include "linux/X11LanguageSource.h"

using namespace brevona;

namespace {

// ---------------------------------------------------------------- reading entries

struct ParseCase
{
    const char *description;
    QByteArray text;
    bool isApplication;
    QString startupWMClass;
    QString program; // what "Exec" names; its resolution depends on the machine
};

// Rows print as their description in test listings and failures.
void PrintTo(const ParseCase &row, std::ostream *out)
{
    *out << row.description;
}

class DesktopEntryParseTest : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(DesktopEntryParseTest, ReadsTheMainGroup)
{
    const auto entry = DesktopEntries::parse(QStringLiteral("x"), GetParam().text);
    ASSERT_EQ(entry.has_value(), GetParam().isApplication);
    if (!entry)
        return;
    EXPECT_EQ(entry->startupWMClass, GetParam().startupWMClass);
    const QString resolved =
        QFileInfo(QStandardPaths::findExecutable(GetParam().program)).canonicalFilePath();
    EXPECT_EQ(entry->executable, resolved);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DesktopEntryParseTest,
    ::testing::Values(
        ParseCase{"Plain",
                  "[Desktop Entry]\nType=Application\nName=Sh\nExec=sh -c true\nStartupWMClass=Shell\n", true,
                  "Shell", "sh"},
        ParseCase{"EnvPrefixAndQuotes",
                  "[Desktop Entry]\nType=Application\nExec=env A=1 B=\"2 3\" \"sh\" %U\n",
                  true,
                  {},
                  "sh"},
        ParseCase{"OtherGroupsIgnored",
                  "[Desktop Action new]\nExec=true\nStartupWMClass=Wrong\n[Desktop Entry]\nType=Application\n"
                  "Exec=sh\n",
                  true,
                  {},
                  "sh"},
        ParseCase{
            "LocalisedKeysIgnored",
            "[Desktop Entry]\nType=Application\nStartupWMClass[de]=Falsch\nStartupWMClass = Right\nExec=sh\n",
            true, "Right", "sh"},
        ParseCase{"EscapedSpace", "[Desktop Entry]\nType=Application\nStartupWMClass=Two\\sWords\nExec=sh\n",
                  true, "Two Words", "sh"},
        ParseCase{"TryExecWhenExecIsMissing",
                  "[Desktop Entry]\nType=Application\nExec=no-such-program-here\nTryExec=sh\n",
                  true,
                  {},
                  "sh"},
        ParseCase{
            "HiddenIsDeleted", "[Desktop Entry]\nType=Application\nExec=sh\nHidden=true\n", false, {}, {}},
        ParseCase{
            "LinkIsNoApplication", "[Desktop Entry]\nType=Link\nURL=https://example.org\n", false, {}, {}},
        ParseCase{"NoMainGroup", "Type=Application\nExec=sh\n", false, {}, {}}),
    [](const auto &info) { return std::string(info.param.description); });

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

struct MatchCase
{
    const char *description;
    WindowIdentity window;
    std::optional<QString> entry;
    QString identifier;
};

void PrintTo(const MatchCase &row, std::ostream *out)
{
    *out << row.description;
}

class DesktopEntryMatchTest : public DesktopEntriesTest, public ::testing::WithParamInterface<MatchCase>
{
};

TEST_P(DesktopEntryMatchTest, FindsTheEntryOfAWindow)
{
    DesktopEntries entries({user.path(), system.path()});
    WindowIdentity window = GetParam().window;
    if (window.executable == QLatin1String("sh"))
        window.executable = QFileInfo(QStandardPaths::findExecutable("sh")).canonicalFilePath();
    EXPECT_EQ(entries.match(window), GetParam().entry);
    EXPECT_EQ(entries.identifierFor(window), GetParam().identifier);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DesktopEntryMatchTest,
    ::testing::Values(
        MatchCase{
            "GtkApplicationId", {"org.gnome.Files", "x", "X", {}}, "org.gnome.Files", "org.gnome.Files"},
        MatchCase{"GtkIdWithoutEntryFallsThrough",
                  {"org.example.None", "editormain", "EditorMain", {}},
                  "org.example.Editor",
                  "org.example.Editor"},
        MatchCase{"StartupWMClassOfTheClass",
                  {{}, "main", "EditorMain", {}},
                  "org.example.Editor",
                  "org.example.Editor"},
        MatchCase{"StartupWMClassOfTheInstance",
                  {{}, "EditorMain", "Other", {}},
                  "org.example.Editor",
                  "org.example.Editor"},
        MatchCase{"FileNameWithoutCase", {{}, "terminal", "Terminal", {}}, "terminal", "terminal"},
        MatchCase{"FileNameInASubfolder", {{}, "kde-viewer", "Kde-viewer", {}}, "kde-viewer", "kde-viewer"},
        MatchCase{
            "LastPartOfAReverseDomainId", {{}, "files", "Files", {}}, "org.gnome.Files", "org.gnome.Files"},
        MatchCase{"Executable", {{}, "dash", "Dash", "sh"}, "shell", "shell"},
        MatchCase{"DeletedEntryHidesTheLaterOne", {{}, "gone", "Gone", {}}, std::nullopt, "Gone"},
        MatchCase{"NoEntryGtkId", {"org.example.None", {}, {}, {}}, std::nullopt, "org.example.None"},
        MatchCase{"NoEntryClass", {{}, "xmessage", "Xmessage", {}}, std::nullopt, "Xmessage"},
        MatchCase{"NothingKnown", {}, std::nullopt, {}}),
    [](const auto &info) { return std::string(info.param.description); });

TEST_F(DesktopEntriesTest, EarlierFoldersWinAndReloadSeesNewEntries)
{
    DesktopEntries entries({user.path(), system.path()});
    EXPECT_EQ(entries.entries().value("terminal").startupWMClass, QString());
    EXPECT_FALSE(entries.entries().contains("gone"));
    EXPECT_TRUE(entries.entries().contains("kde-viewer"));
    write(user.path(), "late.desktop", "StartupWMClass=Late\n");
    EXPECT_FALSE(entries.match({{}, {}, "Late", {}}));
    entries.reload();
    EXPECT_EQ(entries.match({{}, {}, "Late", {}}), QString("late"));
}

// ---------------------------------------------------------------- XKB layout names

template<std::size_t N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

struct RulesCase
{
    const char *description;
    QByteArray value;
    QStringList layouts;
};

void PrintTo(const RulesCase &row, std::ostream *out)
{
    *out << row.description;
}

class RulesNamesTest : public ::testing::TestWithParam<RulesCase>
{
};

TEST_P(RulesNamesTest, ListsTheLayouts)
{
    EXPECT_EQ(X11LanguageSource::layoutsOfRulesNames(GetParam().value), GetParam().layouts);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RulesNamesTest,
    ::testing::Values(RulesCase{"One", bytes("evdev\0pc105\0us\0\0\0"), {"us"}},
                      RulesCase{"TwoWithVariant",
                                bytes("evdev\0pc105\0us,de\0,nodeadkeys\0grp:alt_shift_toggle\0"),
                                {"us", "de(nodeadkeys)"}},
                      RulesCase{"FewerVariantsThanLayouts",
                                bytes("evdev\0pc105\0us,de,fr\0intl\0\0"),
                                {"us(intl)", "de", "fr"}},
                      RulesCase{"Truncated", bytes("evdev\0pc105"), {}},
                      RulesCase{"Empty", QByteArray(), {}}),
    [](const auto &info) { return std::string(info.param.description); });

} // namespace
