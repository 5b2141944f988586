// Versions as the keyboard's files carry them, and what the firmware page makes of two versions.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FirmwareVersion.h"
#include "KCFirmwareStatus.h"
#include "TestPrinters.h"

using namespace brevona;
using namespace brevona::test;

namespace {

struct VersionRow
{
    const char *name;
    QByteArray bytes;
    double version;
};

using VersionFromBytes = testing::TestWithParam<VersionRow>;

TEST_P(VersionFromBytes, ReadsTheNumberAfterTheFirstVWithinTwelveBytes)
{
    EXPECT_DOUBLE_EQ(FirmwareVersion::fromBytes(GetParam().bytes), GetParam().version);
}

// clang-format off
const VersionRow kVersionRows[] = {
    {.name = "Plain", .bytes = "V1.05", .version = 1.05},
    {.name = "Empty", .bytes = "", .version = -2},
    {.name = "NoV", .bytes = "firmware 1.05", .version = -1},
    {.name = "LowerCaseV", .bytes = "v1.05", .version = -1},
    {.name = "VWithoutNumber", .bytes = "V", .version = -1},
    {.name = "VThenLetters", .bytes = "Vx1.0", .version = -1},
    {.name = "LeadingBlanks", .bytes = "V \t 2.5", .version = 2.5},
    {.name = "OnlyTheFirstVCounts", .bytes = "V V2", .version = -1},
    {.name = "SecondPointEndsIt", .bytes = "V1.2.3", .version = 1.2},
    {.name = "BinaryBeforeV", .bytes = QByteArray("\x00\x01\xff" "V3.25\x00\x00", 10), .version = 3.25},
    {.name = "PointFirst", .bytes = "V.5", .version = 0.5},
    {.name = "Zero", .bytes = "V0", .version = 0},
    {.name = "VAtByteTwelve", .bytes = "12345678901V9", .version = -1},
    {.name = "NumberAtTheEdge", .bytes = "1234567890V9", .version = 9},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, VersionFromBytes, testing::ValuesIn(kVersionRows), RowName());

enum class Kind
{
    Missing,
    File,
    Folder,
    Fifo,
    LinkToFile,
};

struct FileRow
{
    const char *name;
    Kind kind;
    QByteArray bytes;
    double version;
};

using VersionFromFile = testing::TestWithParam<FileRow>;

TEST_P(VersionFromFile, ReadsRegularFilesOnlyAndNeverWaits)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("version.sys");
    const Kind kind = GetParam().kind;
    // A link's file is made beside it; a plain file in its place.
    const QString real = kind == Kind::LinkToFile ? dir.filePath("real.sys") : path;
    if (kind == Kind::File || kind == Kind::LinkToFile) {
        QFile file(real);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(GetParam().bytes);
    }
    if (kind == Kind::LinkToFile) {
        ASSERT_TRUE(QFile::link(real, path));
    }
    if (kind == Kind::Folder) {
        ASSERT_TRUE(QDir().mkdir(path));
    }
    if (kind == Kind::Fifo) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    EXPECT_DOUBLE_EQ(FirmwareVersion::read(path), GetParam().version);
}

// clang-format off
const FileRow kFileRows[] = {
    {.name = "Missing", .kind = Kind::Missing, .bytes = {}, .version = -2},
    {.name = "Empty", .kind = Kind::File, .bytes = "", .version = -2},
    {.name = "Version", .kind = Kind::File, .bytes = "V1.05", .version = 1.05},
    {.name = "Folder", .kind = Kind::Folder, .bytes = {}, .version = -2},
    {.name = "Fifo", .kind = Kind::Fifo, .bytes = {}, .version = -2},
    {.name = "LinkToAFile", .kind = Kind::LinkToFile, .bytes = "V4.5", .version = 4.5},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, VersionFromFile, testing::ValuesIn(kFileRows), RowName());

TEST(VersionText, ShowsTwoDecimalsAboveZeroOnly)
{
    EXPECT_EQ(FirmwareVersion::text(1.05), "1.05");
    EXPECT_EQ(FirmwareVersion::text(2), "2.00");
    EXPECT_EQ(FirmwareVersion::text(0), "-.--");
    EXPECT_EQ(FirmwareVersion::text(-2), "-.--");
}

using Tone = KCFirmwareStatus::Tone;
constexpr auto Chosen = FirmwareUpdateMode::ChosenFile;

struct StatusRow
{
    const char *name;
    KCFirmwareStatus::Inputs inputs;
    const char *button;
    bool enabled;
    Tone availableTone;
    const char *source;
};

using FirmwareStatus = testing::TestWithParam<StatusRow>;

TEST_P(FirmwareStatus, ButtonAndLabelsFollowTheVersionsAndTheMode)
{
    const StatusRow &row = GetParam();
    const KCFirmwareStatus status = KCFirmwareStatus::evaluate(row.inputs);
    EXPECT_EQ(status.buttonTitle, QString::fromLatin1(row.button));
    EXPECT_EQ(status.buttonEnabled, row.enabled);
    EXPECT_EQ(status.availableTone, row.availableTone);
    EXPECT_EQ(status.sourceLabel, QString::fromLatin1(row.source));
    EXPECT_EQ(status.connectionText,
              row.inputs.connected ? QString("Keyboard is connected") : QString("Keyboard is not connected"));
    EXPECT_EQ(status.connectionTone, row.inputs.connected ? Tone::DarkGrey : Tone::DarkRed);
    EXPECT_EQ(status.currentText, FirmwareVersion::text(row.inputs.current));
    EXPECT_EQ(status.currentTone, row.inputs.current > 0 ? Tone::White : Tone::Grey);
    EXPECT_EQ(status.availableText, FirmwareVersion::text(row.inputs.available));
}

// clang-format off
const StatusRow kStatusRows[] = {
    {.name = "NewerImage", .inputs = {.connected = true, .current = 1.0, .available = 1.1}, .button = "Upgrade", .enabled = true, .availableTone = Tone::Red, .source = "Latest:"},
    {.name = "SameVersionRestores", .inputs = {.connected = true, .current = 1.05, .available = 1.05}, .button = "Restore", .enabled = false, .availableTone = Tone::White, .source = "Latest:"},
    {.name = "OlderImage", .inputs = {.connected = true, .current = 1.2, .available = 1.1}, .button = "Downgrade", .enabled = false, .availableTone = Tone::White, .source = "Latest:"},
    {.name = "NotConnected", .inputs = {.connected = false, .current = -2, .available = 1.1}, .button = "Upgrade", .enabled = false, .availableTone = Tone::White, .source = "Latest:"},
    {.name = "ShippedImageMissing", .inputs = {.connected = true, .current = 1.0, .available = -2}, .button = "Downgrade", .enabled = false, .availableTone = Tone::Grey, .source = "Latest:"},
    {.name = "ZeroOnKeyboard", .inputs = {.connected = true, .current = 0, .available = 0.5}, .button = "Upgrade", .enabled = true, .availableTone = Tone::Red, .source = "Latest:"},
    {.name = "ChosenModeWithoutFile", .inputs = {.connected = true, .current = 1.0, .available = 1.1, .mode = Chosen}, .button = "Upgrade", .enabled = false, .availableTone = Tone::Red, .source = "Latest:"},
    {.name = "ChosenOlderFileDowngrades", .inputs = {.connected = true, .current = 1.1, .available = 1.0, .mode = Chosen, .fileChosen = true}, .button = "Downgrade", .enabled = true, .availableTone = Tone::White, .source = "From file:"},
    {.name = "ChosenFileNotConnected", .inputs = {.connected = false, .current = -2, .available = 1.0, .mode = Chosen, .fileChosen = true}, .button = "Upgrade", .enabled = false, .availableTone = Tone::White, .source = "From file:"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, FirmwareStatus, testing::ValuesIn(kStatusRows), RowName());

} // namespace
