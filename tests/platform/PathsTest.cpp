#include <functional>
#include <optional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "Paths.h"
#include "TestHome.h"
#include "TestPrinters.h"

using brevona::Paths;
using brevona::test::TestHome;

namespace {

// Placeholder for the temporary home in the table below.
constexpr const char *kHome = "<home>";

std::optional<QString> expand(const char *value, const QString &home)
{
    if (!value)
        return std::nullopt;
    return QString::fromUtf8(value).replace(QLatin1String(kHome), home);
}

mode_t modeOf(const QString &path)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode;
}

struct XdgCase
{
    const char *name;
    const char *dataHome; // nullptr: unset
    const char *configHome;
    const char *cacheHome;
    const char *expectedData;
    const char *expectedConfig;
    const char *expectedCache;
};

class PathsXdgTest : public ::testing::TestWithParam<XdgCase>
{
};

TEST_P(PathsXdgTest, FoldersFollowTheEnvironment)
{
    const XdgCase &c = GetParam();
    TestHome home;
    ASSERT_TRUE(home.isValid());
    home.setEnvironment("XDG_DATA_HOME", expand(c.dataHome, home.path()));
    home.setEnvironment("XDG_CONFIG_HOME", expand(c.configHome, home.path()));
    home.setEnvironment("XDG_CACHE_HOME", expand(c.cacheHome, home.path()));

    const QString data = *expand(c.expectedData, home.path());
    const QString config = *expand(c.expectedConfig, home.path());
    const QString cache = *expand(c.expectedCache, home.path());

    EXPECT_EQ(Paths::homeFolder(), home.path());
    EXPECT_EQ(Paths::supportFolder(), data + "/Lumivox");
    EXPECT_EQ(Paths::cachesFolder(), cache + "/Lumivox");
    EXPECT_EQ(Paths::preferencesFile("com.apple.HIToolbox"), config + "/com.apple.HIToolbox.plist");
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathsXdgTest,
    ::testing::Values(
        XdgCase{"set", "<home>/d", "<home>/c", "<home>/k", "<home>/d", "<home>/c", "<home>/k"},
        XdgCase{"unset", nullptr, nullptr, nullptr, "<home>/.local/share", "<home>/.config", "<home>/.cache"},
        // Relative values are invalid by the XDG rules and must not resolve against the working folder.
        XdgCase{"relative", "d", "./c", "k/", "<home>/.local/share", "<home>/.config", "<home>/.cache"},
        XdgCase{"untidy", "<home>/d/", "<home>//c", "<home>/x/../k", "<home>/d", "<home>/c", "<home>/k"}),
    brevona::test::RowName());

TEST(PathsTest, HomeWithoutVariableComesFromTheAccountDatabase)
{
    TestHome home;
    ASSERT_TRUE(home.isValid());
    home.setEnvironment("HOME", std::nullopt);
    home.setEnvironment("XDG_DATA_HOME", std::nullopt);
    const passwd *account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const QString expected = QDir::cleanPath(QFile::decodeName(account->pw_dir));
    EXPECT_EQ(Paths::homeFolder(), expected);
    EXPECT_EQ(Paths::layerStoreFolder(), expected + "/.local/share/Lumivox/Layers");
}

TEST(PathsTest, ResourceFolderOverride)
{
    TestHome home;
    ASSERT_TRUE(home.isValid());
    home.setEnvironment("BREVONA_RESOURCE_DIR", std::nullopt);
    const QString installed = Paths::resourceFolder();
    EXPECT_TRUE(QDir::isAbsolutePath(installed)) << installed.toStdString();

    home.setEnvironment("BREVONA_RESOURCE_DIR", home.path() + "/res/");
    EXPECT_EQ(Paths::resourceFolder(), home.path() + "/res");

    home.setEnvironment("BREVONA_RESOURCE_DIR", QString());
    EXPECT_EQ(Paths::resourceFolder(), installed);
}

class PrivateWorkingFolderTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }
    QString runtimeBrevona() const { return home.runtimeDir() + "/brevona"; }

    TestHome home;
};

TEST_F(PrivateWorkingFolderTest, CreatedPrivateUnderTheRuntimeFolder)
{
    // A permissive umask must not leak into the folder's mode, nor a restrictive one lock the owner out.
    for (const mode_t mask : {mode_t(0), mode_t(0277)}) {
        const mode_t previous = ::umask(mask);
        const QString name = QStringLiteral("work-%1").arg(mask);
        const std::optional<QString> folder = Paths::privateWorkingFolder(name);
        ::umask(previous);
        ASSERT_TRUE(folder.has_value());
        EXPECT_EQ(*folder, runtimeBrevona() + "/" + name);
        EXPECT_EQ(modeOf(*folder), mode_t(S_IFDIR | 0700));
        EXPECT_EQ(modeOf(runtimeBrevona()), mode_t(S_IFDIR | 0700));
        EXPECT_EQ(Paths::privateWorkingFolder(name), folder) << "a second call reuses the folder";
    }
}

TEST_F(PrivateWorkingFolderTest, RefusesNamesThatAreNotOneComponent)
{
    for (const char *name : {"", ".", "..", "a/b", "../escape", "/abs"})
        EXPECT_FALSE(Paths::privateWorkingFolder(QString::fromUtf8(name)).has_value()) << name;
    EXPECT_FALSE(Paths::privateWorkingFolder(QString(QChar(0)) + "x").has_value());
    EXPECT_FALSE(QFileInfo::exists(home.runtimeDir() + "/escape"));
}

struct Tampering
{
    const char *name;
    std::function<void(const QString &target)> prepare;
};

class PrivateWorkingFolderRefusalTest : public ::testing::TestWithParam<Tampering>
{
};

TEST_P(PrivateWorkingFolderRefusalTest, RefusesAFolderOthersCouldReach)
{
    TestHome home;
    ASSERT_TRUE(home.isValid());
    for (const QString &target : {home.runtimeDir() + "/brevona/work", home.runtimeDir() + "/brevona"}) {
        SCOPED_TRACE(target.toStdString());
        ASSERT_TRUE(QDir().mkpath(home.runtimeDir() + "/brevona"));
        ::chmod(QFile::encodeName(home.runtimeDir() + "/brevona").constData(), 0700);
        QDir(target).removeRecursively();
        GetParam().prepare(target);
        EXPECT_FALSE(Paths::privateWorkingFolder("work").has_value());
        QDir(home.runtimeDir() + "/brevona").removeRecursively();
        QFile::remove(home.runtimeDir() + "/brevona");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PrivateWorkingFolderRefusalTest,
                         ::testing::Values(Tampering{"group_readable",
                                                     [](const QString &target) {
                                                         ASSERT_TRUE(QDir().mkpath(target));
                                                         ::chmod(QFile::encodeName(target).constData(), 0750);
                                                     }},
                                           Tampering{"symbolic_link",
                                                     [](const QString &target) {
                                                         const QString elsewhere = target + ".real";
                                                         ASSERT_TRUE(QDir().mkpath(elsewhere));
                                                         ::chmod(QFile::encodeName(elsewhere).constData(),
                                                                 0700);
                                                         ASSERT_TRUE(QFile::link(elsewhere, target));
                                                     }},
                                           Tampering{"plain_file",
                                                     [](const QString &target) {
                                                         QFile file(target);
                                                         ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                                                     }}),
                         brevona::test::RowName());

TEST_F(PrivateWorkingFolderTest, RefusesAFolderOfAnotherUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing a folder's owner needs root";
    ASSERT_TRUE(Paths::privateWorkingFolder("mine").has_value()) << "the parent is private";
    const QString target = runtimeBrevona() + "/work";
    ASSERT_TRUE(QDir().mkpath(target));
    ::chmod(QFile::encodeName(target).constData(), 0700);
    ASSERT_EQ(::chown(QFile::encodeName(target).constData(), 65534, 65534), 0);
    EXPECT_FALSE(Paths::privateWorkingFolder("work").has_value());
    EXPECT_TRUE(Paths::privateWorkingFolder("mine").has_value());
}

TEST_F(PrivateWorkingFolderTest, WithoutAPrivateRuntimeFolderUsesAnUnpredictableTemporaryFolder)
{
    const std::function<void()> variants[] = {
        [&] { home.setEnvironment("XDG_RUNTIME_DIR", std::nullopt); },
        [&] {
            home.setEnvironment("XDG_RUNTIME_DIR", home.runtimeDir());
            ::chmod(QFile::encodeName(home.runtimeDir()).constData(), 0755);
        },
    };
    home.setEnvironment("TMPDIR", home.path() + "/tmp");
    ASSERT_TRUE(QDir().mkpath(home.path() + "/tmp"));
    for (std::size_t i = 0; i < std::size(variants); ++i) {
        SCOPED_TRACE(i);
        variants[i]();
        const std::optional<QString> folder = Paths::privateWorkingFolder("work");
        ASSERT_TRUE(folder.has_value());
        const QFileInfo info(*folder);
        const QString parent = info.absolutePath();
        EXPECT_EQ(QFileInfo(parent).absolutePath(), home.path() + "/tmp");
        EXPECT_TRUE(QFileInfo(parent).fileName().startsWith("brevona-"));
        EXPECT_NE(QFileInfo(parent).fileName(), "brevona-XXXXXX");
        EXPECT_EQ(modeOf(parent), mode_t(S_IFDIR | 0700));
        EXPECT_EQ(modeOf(*folder), mode_t(S_IFDIR | 0700));
        EXPECT_EQ(Paths::privateWorkingFolder("work"), folder) << "stable within the process";
        EXPECT_FALSE(QFileInfo::exists(runtimeBrevona()));
    }
    // Once the process's folder is gone a fresh one replaces it.
    const QString first = QFileInfo(*Paths::privateWorkingFolder("work")).absolutePath();
    ASSERT_TRUE(QDir(first).removeRecursively());
    const std::optional<QString> again = Paths::privateWorkingFolder("work");
    ASSERT_TRUE(again.has_value());
    EXPECT_TRUE(QFileInfo::exists(*again));
    QDir(QFileInfo(*again).absolutePath()).removeRecursively();
}

} // namespace
