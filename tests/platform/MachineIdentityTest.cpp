#include <optional>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FakeMachineIdentity.h"
#include "MachineIdentity.h"
#include "linux/LinuxMachineIdentity.h"

using brevona::FakeMachineIdentity;
using brevona::LinuxMachineIdentity;
using brevona::MachineIdentity;

namespace {

struct IdFileCase
{
    const char *description;
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

INSTANTIATE_TEST_SUITE_P(Table, LinuxMachineIdentityTest,
                         ::testing::Values(IdFileCase{"systemd", "3d1219c7c4c5404aaa1f6d2a48adfda4\n",
                                                      QString("3d1219c7c4c5404aaa1f6d2a48adfda4")},
                                           IdFileCase{"padded", "  \tabc def \r\n\n", QString("abc def")},
                                           IdFileCase{"no_newline", "abc", QString("abc")},
                                           IdFileCase{"empty", "", std::nullopt},
                                           IdFileCase{"blank", " \n\n\t", std::nullopt},
                                           IdFileCase{"missing", nullptr, std::nullopt}),
                         [](const ::testing::TestParamInfo<IdFileCase> &info) {
                             return std::string(info.param.description);
                         });

TEST(MachineIdentityTest, InstanceIsLinuxUnlessReplaced)
{
    EXPECT_NE(dynamic_cast<LinuxMachineIdentity *>(&MachineIdentity::instance()), nullptr);
    FakeMachineIdentity fake(QString("SERIAL-1"));
    MachineIdentity::setInstance(&fake);
    EXPECT_EQ(&MachineIdentity::instance(), &fake);
    EXPECT_EQ(MachineIdentity::instance().serialNumber(), QString("SERIAL-1"));
    fake.setSerialNumber(std::nullopt);
    EXPECT_EQ(MachineIdentity::instance().serialNumber(), std::nullopt);
    MachineIdentity::setInstance(nullptr);
    EXPECT_NE(dynamic_cast<LinuxMachineIdentity *>(&MachineIdentity::instance()), nullptr);
}

} // namespace
