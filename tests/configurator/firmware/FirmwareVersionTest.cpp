// Versions as the keyboard's files carry them, which files an image is loaded from, and what the
// firmware page makes of two versions.
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FirmwareFiles.h"
#include "FirmwareImage.h"
#include "FirmwareVersion.h"
#include "KCFirmwareStatus.h"
#include "TestPrinters.h"

using namespace brevona;
using namespace brevona::test;

namespace {

enum class Kind
{
    File,
    Missing,
    Fifo,
    LinkToFile,
};

struct FileRow
{
    const char *name;
    QByteArray bytes;
    double version;                 // FirmwareVersion::read
    const char *loadSays = nullptr; // FirmwareImage::load's refusal; nullptr: the image loads
    Kind kind = Kind::File;
};

using FirmwareFile = testing::TestWithParam<FileRow>;

// The version is the number after the first "V" within a file's first twelve bytes, read from any
// file (a link is followed); an image is loaded only from a regular file with a version. Neither
// ever waits on a FIFO.
TEST_P(FirmwareFile, GivesItsVersionAndLoadsFromRegularFilesOnly)
{
    const FileRow &row = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("upgrade.bin");
    const QString real = row.kind == Kind::LinkToFile ? dir.filePath("real.bin") : path;
    if (row.kind == Kind::File || row.kind == Kind::LinkToFile) {
        ASSERT_TRUE(writeFileBytes(real, row.bytes));
    }
    if (row.kind == Kind::LinkToFile) {
        ASSERT_TRUE(QFile::link(real, path));
    }
    if (row.kind == Kind::Fifo) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    EXPECT_DOUBLE_EQ(FirmwareVersion::read(path), row.version);
    const auto image = FirmwareImage::load(path, std::nullopt);
    if (row.loadSays) {
        ASSERT_FALSE(image.has_value());
        EXPECT_TRUE(image.error().contains(QLatin1String(row.loadSays))) << image.error().toStdString();
    } else {
        ASSERT_TRUE(image.has_value()) << image.error().toStdString();
        EXPECT_EQ(image->bytes(), row.bytes);
        EXPECT_DOUBLE_EQ(image->version(), row.version);
    }
}

constexpr const char *kNoVersion = "carries no version";

// clang-format off
const FileRow kFileRows[] = {
    {.name = "Plain", .bytes = "V1.05 and the rest", .version = 1.05},
    {.name = "LowerCaseV", .bytes = "v1.05", .version = -1, .loadSays = kNoVersion},
    {.name = "VThenLetters", .bytes = "Vx1.0", .version = -1, .loadSays = kNoVersion},
    {.name = "LeadingBlanks", .bytes = "V \t 2.5", .version = 2.5},
    {.name = "OnlyTheFirstVCounts", .bytes = "V V2", .version = -1, .loadSays = kNoVersion},
    {.name = "SecondPointEndsIt", .bytes = "V1.2.3", .version = 1.2},
    {.name = "BinaryBeforeV", .bytes = QByteArray("\x00\x01\xff" "V3.25\x00\x00", 10), .version = 3.25},
    {.name = "PointFirst", .bytes = "V.5", .version = 0.5},
    {.name = "Zero", .bytes = "V0", .version = 0},
    {.name = "VAtByteTwelve", .bytes = "12345678901V9", .version = -1, .loadSays = kNoVersion},
    {.name = "NumberAtTheEdge", .bytes = "1234567890V9", .version = 9},
    {.name = "Empty", .bytes = "", .version = -2, .loadSays = "is empty"},
    {.name = "Missing", .bytes = {}, .version = -2, .loadSays = "cannot be found", .kind = Kind::Missing},
    {.name = "Fifo", .bytes = {}, .version = -2, .loadSays = "is a FIFO", .kind = Kind::Fifo},
    {.name = "LinkToAFile", .bytes = "V4.5", .version = 4.5, .loadSays = "is a symbolic link", .kind = Kind::LinkToFile},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, FirmwareFile, testing::ValuesIn(kFileRows), RowName());

using Tone = KCFirmwareStatus::Tone;
constexpr auto Chosen = FirmwareUpdateMode::ChosenFile;

struct StatusRow
{
    const char *name;
    KCFirmwareStatus::Inputs inputs;
    const char *button;
    bool enabled;
    Tone availableTone;
};

using FirmwareStatus = testing::TestWithParam<StatusRow>;

TEST_P(FirmwareStatus, ButtonAndLabelsFollowTheVersionsAndTheMode)
{
    const StatusRow &row = GetParam();
    const KCFirmwareStatus status = KCFirmwareStatus::evaluate(row.inputs);
    EXPECT_EQ(status.buttonTitle, QString::fromLatin1(row.button));
    EXPECT_EQ(status.buttonEnabled, row.enabled);
    EXPECT_EQ(status.availableTone, row.availableTone);
}

// clang-format off
const StatusRow kStatusRows[] = {
    {.name = "ZeroOnKeyboardUpgrades", .inputs = {.connected = true, .current = 0, .available = 0.5}, .button = "Upgrade", .enabled = true, .availableTone = Tone::Red},
    {.name = "SameVersionRestores", .inputs = {.connected = true, .current = 1.05, .available = 1.05}, .button = "Restore", .enabled = false, .availableTone = Tone::White},
    {.name = "OlderImage", .inputs = {.connected = true, .current = 1.2, .available = 1.1}, .button = "Downgrade", .enabled = false, .availableTone = Tone::White},
    {.name = "NotConnected", .inputs = {.connected = false, .current = -2, .available = 1.1}, .button = "Upgrade", .enabled = false, .availableTone = Tone::White},
    {.name = "ShippedImageMissing", .inputs = {.connected = true, .current = 1.0, .available = -2}, .button = "Downgrade", .enabled = false, .availableTone = Tone::Grey},
    {.name = "ChosenModeWithoutFile", .inputs = {.connected = true, .current = 1.0, .available = 1.1, .mode = Chosen}, .button = "Upgrade", .enabled = false, .availableTone = Tone::Red},
    {.name = "ChosenFileNotConnected", .inputs = {.connected = false, .current = -2, .available = 1.0, .mode = Chosen, .fileChosen = true}, .button = "Upgrade", .enabled = false, .availableTone = Tone::White},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, FirmwareStatus, testing::ValuesIn(kStatusRows), RowName());

} // namespace
