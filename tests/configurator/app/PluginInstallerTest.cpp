#include <QDir>

#include <gtest/gtest.h>

#include "PluginInstaller.h"
#include "PropertyList.h"
#include "TestHome.h"

namespace brevona::test {
namespace {

struct VersionRow
{
    const char *name;
    const char *shipped;
    std::optional<QString> installed;
    bool replace;
};

class PluginVersionTest : public testing::TestWithParam<VersionRow>
{
};

TEST_P(PluginVersionTest, ComparesAsVersionNumbers)
{
    const VersionRow &row = GetParam();
    EXPECT_EQ(PluginInstaller::shouldReplace(QString::fromLatin1(row.shipped), row.installed), row.replace);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, PluginVersionTest,
    testing::Values(
        VersionRow{.name = "TenAfterNine", .shipped = "1.10", .installed = "1.9", .replace = true},
        VersionRow{.name = "NineBeforeTen", .shipped = "1.9", .installed = "1.10", .replace = false},
        VersionRow{.name = "Equal", .shipped = "1.2", .installed = "1.2", .replace = false},
        VersionRow{.name = "ZeroPart", .shipped = "2.0", .installed = "2", .replace = false},
        VersionRow{.name = "ThirdPart", .shipped = "1.2.1", .installed = "1.2", .replace = true},
        VersionRow{.name = "NoUserCopy", .shipped = "0.1", .installed = {}, .replace = true},
        VersionRow{.name = "UserUnversioned", .shipped = "1.0", .installed = "", .replace = true},
        VersionRow{.name = "Unversioned", .shipped = "", .installed = {}, .replace = false},
        VersionRow{.name = "Suffix", .shipped = "1.10b", .installed = "1.9", .replace = true}),
    [](const auto &info) { return std::string(info.param.name); });

void makeBundle(const QString &folder, const QString &name, const QString &version, const QByteArray &code)
{
    const QDir bundle(QDir(folder).filePath(name + ".plugin"));
    ASSERT_TRUE(QDir().mkpath(bundle.filePath("Contents/Linux")));
    ASSERT_TRUE(
        PropertyList::writeFile(bundle.filePath("Contents/Info.plist"),
                                QVariantMap{{"CFBundleVersion", version}, {"CFBundleExecutable", name}}));
    QFile so(bundle.filePath("Contents/Linux/" + name + ".so"));
    ASSERT_TRUE(so.open(QIODevice::WriteOnly));
    so.write(code);
}

QByteArray code(const QString &folder, const QString &name)
{
    QFile so(QDir(folder).filePath(name + ".plugin/Contents/Linux/" + name + ".so"));
    return so.open(QIODevice::ReadOnly) ? so.readAll() : QByteArray("<missing>");
}

TEST(PluginInstallerTest, CopiesOnlyNewerBundlesWhole)
{
    TestHome home;
    const QString shipped = home.path() + "/Installations";
    const QString user = home.path() + "/Plugins";
    makeBundle(shipped, "Older", "1.10", "shipped older");
    makeBundle(shipped, "Newer", "1.0", "shipped newer");
    makeBundle(user, "Older", "1.9", "user older");
    makeBundle(user, "Newer", "1.1", "user newer");

    const auto report = PluginInstaller::install(shipped, user);

    EXPECT_EQ(report.installed, QStringList({"Older.plugin"}));
    EXPECT_TRUE(report.failed.isEmpty());
    EXPECT_EQ(code(user, "Older"), "shipped older");
    EXPECT_EQ(code(user, "Newer"), "user newer");
    EXPECT_EQ(QDir(user).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 2);
}

} // namespace
} // namespace brevona::test
