#include <optional>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "TestPrinters.h"
#include "linux/LinuxMachineIdentity.h"

using brevona::LinuxMachineIdentity;

namespace {

struct IdFileCase
{
    const char *name;
    const char *content; // nullptr: no file at all
    std::optional<QString> expected;
};

class LinuxMachineIdentityTest : public ::testing::TestWithParam<IdFileCase>
{
};

TEST_P(LinuxMachineIdentityTest, ReadsTheTrimmedId)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("machine-id");
    if (GetParam().content) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(GetParam().content);
    }
    EXPECT_EQ(LinuxMachineIdentity(path).serialNumber(), GetParam().expected);
}

// clang-format off
const IdFileCase kLinuxMachineIdentityRows[] = {
    {.name = "systemd", .content = "3d1219c7c4c5404aaa1f6d2a48adfda4\n", .expected = QString("3d1219c7c4c5404aaa1f6d2a48adfda4")},
    {.name = "padded", .content = "  \tabc def \r\n\n", .expected = QString("abc def")},
    {.name = "blank", .content = " \n\n\t", .expected = std::nullopt},
    {.name = "missing", .content = nullptr, .expected = std::nullopt},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, LinuxMachineIdentityTest, ::testing::ValuesIn(kLinuxMachineIdentityRows),
                         brevona::test::RowName());

} // namespace
