#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "FolderSwap.h"
#include "TestHome.h"

namespace brevona::test {
namespace {

using Step = FolderSwap::Step;

struct SwapRow
{
    const char *name;
    std::optional<Step> failing;
    bool replaced;
    bool oldKeptBeside; // the former target stays in a sibling folder
};

class FolderSwapTest : public testing::TestWithParam<SwapRow>
{
};

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST_P(FolderSwapTest, NeverLosesTheTargetOrTheSource)
{
    const SwapRow &row = GetParam();
    TestHome home;
    ASSERT_TRUE(QDir(home.path()).mkdir("work"));
    const QDir base(home.path() + "/work");
    write(base.filePath("src/Group.plist"), "new root");
    write(base.filePath("src/L1/Main.tiff"), "new picture");
    write(base.filePath("src/Defaults/Group.plist"), "rebuilt");
    write(base.filePath("dst/Group.plist"), "old root");
    write(base.filePath("dst/Old/Main.tiff"), "old picture");

    FolderSwap swap(base.filePath("src"), base.filePath("dst"), {"Defaults"});
    swap.setFaultHook([&](Step step) { return step != row.failing; });
    const auto result = swap.run();

    EXPECT_EQ(result.replaced, row.replaced);
    EXPECT_EQ(result.error.isEmpty(), !row.failing.has_value()) << result.error.toStdString();
    if (row.replaced) {
        EXPECT_EQ(read(base.filePath("dst/Group.plist")), "new root");
        EXPECT_EQ(read(base.filePath("dst/L1/Main.tiff")), "new picture");
        EXPECT_FALSE(QFileInfo::exists(base.filePath("dst/Old")));
        EXPECT_FALSE(QFileInfo::exists(base.filePath("dst/Defaults")));
    } else {
        EXPECT_EQ(read(base.filePath("dst/Group.plist")), "old root");
        EXPECT_EQ(read(base.filePath("dst/Old/Main.tiff")), "old picture");
        EXPECT_FALSE(QFileInfo::exists(base.filePath("dst/L1")));
    }
    EXPECT_EQ(read(base.filePath("src/L1/Main.tiff")), "new picture");
    // Only the two folders remain, and the old one beside them when its removal failed.
    const QStringList siblings = base.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    EXPECT_EQ(siblings.size(), row.oldKeptBeside ? 3 : 2) << siblings.join(' ').toStdString();
    if (row.oldKeptBeside) {
        const QStringList aside = base.entryList({".dst.old-*"}, QDir::Dirs | QDir::Hidden);
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(read(base.filePath(aside[0] + "/dst/Old/Main.tiff")), "old picture");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FolderSwapTest,
    testing::Values(
        SwapRow{.name = "NoFault", .failing = std::nullopt, .replaced = true, .oldKeptBeside = false},
        SwapRow{.name = "Copy", .failing = Step::Copy, .replaced = false, .oldKeptBeside = false},
        SwapRow{.name = "Verify", .failing = Step::Verify, .replaced = false, .oldKeptBeside = false},
        SwapRow{.name = "MoveAside", .failing = Step::MoveAside, .replaced = false, .oldKeptBeside = false},
        SwapRow{.name = "MoveIn", .failing = Step::MoveIn, .replaced = false, .oldKeptBeside = false},
        SwapRow{.name = "RemoveOld", .failing = Step::RemoveOld, .replaced = true, .oldKeptBeside = true}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace brevona::test
