#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QThread>

#include "ApplicationsHelper.h"
#include "FakeApplicationMonitor.h"
#include "LogCapture.h"
#include "NotificationCenter.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "ResourceFiles.h"
#include "SystemNotificationNames.h"
#include "Wait.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "linux/XdgApplicationCatalog.h"

using namespace brevona;

namespace {

QByteArray entry(const char *name, const QByteArray &extra = {})
{
    return QByteArray("[Desktop Entry]\nType=Application\nExec=true\nName=") + name + "\n" + extra;
}

constexpr char kBrokenEntry[] = "\x7f"
                                "ELF\0\0garbage=1\nName=X\n";

bool writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// The user's and a system applications folder inside a temporary home.
class DesktopFolders
{
public:
    QString user() const { return home.dataHome() + QStringLiteral("/applications"); }
    QString system() const { return home.path() + QStringLiteral("/system/applications"); }
    void write(bool inUserFolder, const QString &name, const QByteArray &text) const
    {
        ASSERT_TRUE(writeFile(QDir(inUserFolder ? user() : system()).filePath(name), text));
    }

    test::TestHome home;
};

// ---------------------------------------------------------------- the desktop entries

struct EntryFile
{
    bool user;
    const char *name;
    QByteArray text;
};

EntryFile mine(const char *name, const QByteArray &text)
{
    return {true, name, text};
}

struct ListRow
{
    const char *name;
    std::vector<EntryFile> files;
    const char *id;
    std::optional<QString> listed = {}; // the name it is listed under; nothing: not listed
    const char *log = nullptr;
};

class ApplicationListTest : public ::testing::TestWithParam<ListRow>
{
};

TEST_P(ApplicationListTest, ListsWhatTheUserCanStart)
{
    const ListRow &row = GetParam();
    DesktopFolders folders;
    for (const EntryFile &file : row.files)
        folders.write(file.user, QString::fromUtf8(file.name), file.text);
    XdgApplicationCatalog catalog({folders.user(), folders.system()}, QStringLiteral("de_CH.UTF-8"));
    test::LogCapture log;
    std::optional<QString> name;
    for (const InstalledApplication &application : catalog.installedApplications()) {
        if (application.identifier == QLatin1String(row.id))
            name = application.name;
    }
    EXPECT_EQ(name, row.listed);
    EXPECT_EQ(log.messages().size(), row.log ? 1 : 0) << log.messages().join('\n').toStdString();
    if (row.log) {
        EXPECT_EQ(log.count(QString::fromUtf8(row.log)), 1);
    }
}

const QByteArray kNoName = "[Desktop Entry]\nType=Application\nExec=true\n";
const QByteArray kBroken(kBrokenEntry, sizeof kBrokenEntry - 1);
const QByteArray kHuge = entry("X") + "#" + QByteArray(2 << 20, 'x') + "\n";

// clang-format off
const ListRow kListRows[] = {
    {.name = "Plain", .files = {mine("gimp.desktop", entry("GIMP"))}, .id = "gimp", .listed = "GIMP"},
    {.name = "LanguageAndCountry", .files = {mine("c.desktop", entry("C", "Name[de]=R\nName[de_CH]=Rä\n"))}, .id = "c", .listed = "Rä"},
    {.name = "Language", .files = {mine("c.desktop", entry("C", "Name[fr]=Ca\nName[de]=R\n"))}, .id = "c", .listed = "R"},
    {.name = "NoNameGivesTheId", .files = {mine("tool.desktop", kNoName)}, .id = "tool", .listed = "tool"},
    {.name = "NoDisplay", .files = {mine("x.desktop", entry("X", "NoDisplay=true\n"))}, .id = "x"},
    {.name = "Broken", .files = {mine("x.desktop", kBroken)}, .id = "x", .log = "no [Desktop Entry] group"},
    {.name = "Huge", .files = {mine("x.desktop", kHuge)}, .id = "x", .log = "is larger than"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, ApplicationListTest, ::testing::ValuesIn(kListRows), test::RowName());

// ---------------------------------------------------------------- the helper

// Notes on which thread the list is read.
class RecordingCatalog : public XdgApplicationCatalog
{
public:
    using XdgApplicationCatalog::XdgApplicationCatalog;
    std::vector<InstalledApplication> installedApplications() override
    {
        scanThread = QThread::currentThread();
        return XdgApplicationCatalog::installedApplications();
    }
    QThread *scanThread = nullptr;
};

class ApplicationsHelperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NotificationCenter::defaultCenter().addObserver(this, notifications::ApplicationsHelperDidUpdateList,
                                                        [this](Notification &n) {
                                                            posts.push_back(n.object().toStringList());
                                                            postThreads.push_back(QThread::currentThread());
                                                        });
    }
    void TearDown() override { NotificationCenter::defaultCenter().removeObserver(this); }

    std::unique_ptr<ApplicationsHelper> start()
    {
        auto helper = std::make_unique<ApplicationsHelper>(
            catalog, monitor, preferences, folders.home.cacheHome() + QStringLiteral("/Lumivox"));
        const size_t before = posts.size();
        EXPECT_TRUE(test::waitUntil([&] { return posts.size() > before; }));
        return helper;
    }
    QString iconCache(const QString &id) const
    {
        return folders.home.cacheHome() + QStringLiteral("/Lumivox/AppIcons/") + id + QStringLiteral(".tiff");
    }

    DesktopFolders folders;
    RecordingCatalog catalog{{folders.user(), folders.system()}, QStringLiteral("C")};
    FakeApplicationMonitor monitor;
    PreferencesStore preferences{folders.home.configHome() + QStringLiteral("/prefs.plist")};
    std::vector<QStringList> posts;
    std::vector<QThread *> postThreads;
};

TEST_F(ApplicationsHelperTest, ScansInTheBackgroundAndAddsCustomApplications)
{
    folders.write(true, QStringLiteral("b.desktop"), entry("beta"));
    folders.write(false, QStringLiteral("a.desktop"), entry("Alpha"));
    folders.write(false, QStringLiteral("custom.desktop"), entry("Custom", "NoDisplay=true\n"));
    folders.write(false, QStringLiteral("later.desktop"), entry("Later", "NoDisplay=true\n"));
    preferences.setValue(PreferenceKeys::CustomApplicationsBundlesList, QStringList{"custom", "unknown"});

    const auto helper = start();
    EXPECT_NE(catalog.scanThread, QThread::currentThread());
    EXPECT_EQ(postThreads.back(), QThread::currentThread());
    EXPECT_EQ(posts.back(), (QStringList{"a", "b", "custom"}));
    EXPECT_EQ(helper->applicationNameForIdentifier("custom"), "Custom");
    EXPECT_EQ(helper->applicationPathForIdentifier("a"), folders.system() + "/a.desktop");

    // The preferences window announces its list; only a list that grew is posted again.
    preferences.setValue(PreferenceKeys::CustomApplicationsBundlesList, QStringList{"custom", "later"});
    NotificationCenter::defaultCenter().post(notifications::ApplicationsHelperDidUpdateCustomAppsList);
    NotificationCenter::defaultCenter().post(notifications::ApplicationsHelperDidUpdateCustomAppsList);
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts.back(), (QStringList{"a", "b", "custom", "later"}));

    // A file added by hand, wherever it lies.
    const QString outside = folders.home.path() + QStringLiteral("/Downloads/tool.desktop");
    ASSERT_TRUE(writeFile(outside, entry("Tool")));
    EXPECT_TRUE(helper->addApplicationAtPath(outside));
    EXPECT_FALSE(helper->addApplicationAtPath(folders.home.path() + QStringLiteral("/Downloads")));
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(helper->applicationPathForIdentifier("tool"), outside);
}

TEST_F(ApplicationsHelperTest, IconsAreDrawnOnceAndCachedAsLzwTiff)
{
    QImage wide(64, 32, QImage::Format_ARGB32);
    wide.fill(Qt::red);
    const QString redFile = folders.home.path() + QStringLiteral("/red.png");
    ASSERT_TRUE(wide.save(redFile));
    QImage square(32, 32, QImage::Format_ARGB32);
    square.fill(Qt::blue);
    ASSERT_TRUE(QDir().mkpath(folders.home.dataHome() + QStringLiteral("/pixmaps")));
    ASSERT_TRUE(square.save(folders.home.dataHome() + QStringLiteral("/pixmaps/blue-app.png")));
    ASSERT_TRUE(writeFile(folders.home.path() + QStringLiteral("/broken.png"), "not a picture"));
    folders.write(true, QStringLiteral("red.desktop"), entry("Red", ("Icon=" + redFile + "\n").toUtf8()));
    folders.write(true, QStringLiteral("blue.desktop"), entry("Blue", "Icon=blue-app\n"));
    folders.write(true, QStringLiteral("none.desktop"), entry("None", "Icon=no-such-icon\n"));
    folders.write(true, QStringLiteral("broken.desktop"),
                  entry("Broken", ("Icon=" + folders.home.path() + "/broken.png\n").toUtf8()));

    {
        const auto helper = start();
        const QImage red = helper->applicationIconForIdentifier("red");
        ASSERT_EQ(red.size(), QSize(16, 16));
        // A wide picture keeps its shape: red across the middle, clear above and below.
        EXPECT_EQ(red.pixelColor(8, 8), QColor(Qt::red));
        EXPECT_EQ(red.pixelColor(8, 1).alpha(), 0);
        EXPECT_EQ(helper->applicationIconForIdentifier("blue").pixelColor(8, 8), QColor(Qt::blue));
        EXPECT_TRUE(helper->applicationIconForIdentifier("none").isNull());
        EXPECT_TRUE(helper->applicationIconForIdentifier("broken").isNull());
        EXPECT_TRUE(helper->applicationIconForIdentifier("../red").isNull());
    }
    EXPECT_FALSE(QFile::exists(iconCache("none")));

    EXPECT_EQ(test::ResourceFiles::tiffCompression(iconCache("red")), 5); // LZW

    // The next start draws from the cache: the picture itself is gone.
    ASSERT_TRUE(QFile::remove(redFile));
    const auto again = start();
    EXPECT_EQ(again->applicationIconForIdentifier("red").pixelColor(8, 8), QColor(Qt::red));
}

TEST_F(ApplicationsHelperTest, RunningApplicationsComeFromTheSession)
{
    folders.write(true, QStringLiteral("b.desktop"), entry("beta"));
    folders.write(true, QStringLiteral("a.desktop"), entry("Alpha"));
    const auto helper = start();
    monitor.launch("zed-window-class");
    monitor.launch("b");
    monitor.bringToFront("a");
    EXPECT_EQ(helper->runningApplicationIdentifiers(), (QStringList{"a", "b", "zed-window-class"}));
    EXPECT_EQ(helper->foregroundApplicationIdentifier(), "a");

    test::LogCapture log;
    monitor.setAvailable(false);
    EXPECT_TRUE(helper->runningApplicationIdentifiers().isEmpty());
    EXPECT_TRUE(helper->runningApplicationIdentifiers().isEmpty());
    EXPECT_EQ(log.messages().size(), 1);
}

} // namespace
