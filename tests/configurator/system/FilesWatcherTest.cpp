#include <cstdio>
#include <functional>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FilesWatcher.h"
#include "LogCapture.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;

namespace {

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

struct WatchCase
{
    const char *name;
    bool watchFolder; // else the file "layer.tiff" in it
    // What happens to the folder and its file.
    // `reports` are the paths reported so far.
    std::function<void(FilesWatcher &, const QString &folder, const QString &file,
                       const QStringList &reports)>
        act;
    int minimum; // reports of the watched path
    int maximum;
};

class FilesWatcherTest : public ::testing::TestWithParam<WatchCase>
{
};

// Every row ends with a write to a file in another watched folder: its report comes after every
// event of the row, so counting then is final, also for rows that expect nothing.
TEST_P(FilesWatcherTest, ReportsWritesOfWatchedPaths)
{
    const WatchCase &row = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.filePath("layers");
    const QString file = folder + "/layer.tiff";
    const QString fence = dir.filePath("fence");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeFile(file, "first") && writeFile(fence, ""));

    FilesWatcher watcher;
    ASSERT_TRUE(watcher.isValid());
    const QString watched = row.watchFolder ? folder : file;
    ASSERT_TRUE(watcher.addPath(watched));
    ASSERT_TRUE(watcher.addPath(fence));
    QStringList reports;
    QObject::connect(&watcher, &FilesWatcher::pathWasModified,
                     [&](const QString &path) { reports.append(path); });

    row.act(watcher, folder, file, reports);
    ASSERT_TRUE(writeFile(fence, "done"));
    ASSERT_TRUE(test::waitUntil([&] { return reports.contains(fence); })) << reports.join(' ').toStdString();
    const int count = int(reports.count(watched));
    EXPECT_GE(count, row.minimum) << reports.join(' ').toStdString();
    EXPECT_LE(count, row.maximum) << reports.join(' ').toStdString();
    EXPECT_EQ(reports.size(), count + 1) << reports.join(' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FilesWatcherTest,
    ::testing::Values(
        WatchCase{.name = "TwoQuickWrites",
                  .watchFolder = false,
                  .act =
                      [](FilesWatcher &, const QString &, const QString &file, const QStringList &) {
                          writeFile(file, "one");
                          writeFile(file, "two");
                      },
                  .minimum = 1,
                  .maximum = 2},
        WatchCase{.name = "SavedByRename",
                  .watchFolder = false,
                  .act =
                      [](FilesWatcher &, const QString &folder, const QString &file, const QStringList &) {
                          writeFile(folder + "/.layer.tiff.tmp", "new");
                          std::rename(QFile::encodeName(folder + "/.layer.tiff.tmp").constData(),
                                      QFile::encodeName(file).constData());
                      },
                  .minimum = 1,
                  .maximum = 1},
        WatchCase{.name = "SavedAfterABackupRename",
                  .watchFolder = false,
                  .act =
                      [](FilesWatcher &, const QString &, const QString &file, const QStringList &) {
                          QFile::rename(file, file + "~");
                          writeFile(file, "new");
                      },
                  .minimum = 1,
                  .maximum = 1},
        WatchCase{.name = "OtherFileOfTheFolder",
                  .watchFolder = false,
                  .act = [](FilesWatcher &, const QString &folder, const QString &,
                            const QStringList &) { writeFile(folder + "/other.tiff", "x"); },
                  .minimum = 0,
                  .maximum = 0},
        WatchCase{.name = "EntryAddedToAFolder",
                  .watchFolder = true,
                  .act = [](FilesWatcher &, const QString &folder, const QString &,
                            const QStringList &) { writeFile(folder + "/other.tiff", "x"); },
                  .minimum = 1,
                  .maximum = 2},
        WatchCase{.name = "WatchRemovedStaysQuiet",
                  .watchFolder = false,
                  .act =
                      [](FilesWatcher &watcher, const QString &, const QString &file, const QStringList &) {
                          watcher.removePath(file);
                          writeFile(file, "new");
                      },
                  .minimum = 0,
                  .maximum = 0},
        WatchCase{.name = "WatchRemovedAndAddedAgain",
                  .watchFolder = false,
                  .act =
                      [](FilesWatcher &watcher, const QString &, const QString &file, const QStringList &) {
                          watcher.removePath(file);
                          watcher.addPath(file);
                          writeFile(file, "new");
                      },
                  .minimum = 1,
                  .maximum = 1},
        WatchCase{
            .name = "FolderReplaced",
            .watchFolder = false,
            .act =
                [](FilesWatcher &, const QString &folder, const QString &file, const QStringList &reports) {
                    QDir(folder).removeRecursively();
                    QDir().mkpath(folder);
                    writeFile(file, "new");
                    // Watched again once the folder is back, the file then reports once.
                    (void)test::waitUntil([&] { return reports.contains(file); });
                },
            .minimum = 1,
            .maximum = 1}),
    test::RowName());

TEST(FilesWatcherBadInputTest, MissingPathsAreRefusedOnce)
{
    QTemporaryDir dir;
    FilesWatcher watcher;
    test::LogCapture log;
    EXPECT_FALSE(watcher.addPath(dir.filePath("missing.tiff")));
    EXPECT_FALSE(watcher.addPath(QString()));
    EXPECT_EQ(log.messages().size(), 2);
    EXPECT_TRUE(watcher.addPath(dir.path()));
    EXPECT_TRUE(watcher.addPath(dir.path() + "/"));
    EXPECT_EQ(watcher.paths(), QStringList{dir.path()});
}

} // namespace
