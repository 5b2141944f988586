// The generator refuses keyboard tables whose rows would produce disagreeing resources.

#include <gtest/gtest.h>

#include "EvdevCodes.h"
#include "KeyTable.h"
#include "TestPrinters.h"

using brevona::EvdevCodes;
using brevona::KeyTable;

namespace {

const QString kHeader =
    QStringLiteral("@unit\t52\n@origin\t12\t19\n"
                   "name\tdisplay\tmatrix\tx\ty\tw\th\tevdev\tusage\thidname\tdriver\tkind\tlabels\n");
const QString kGood = QStringLiteral("A\t1\t1\t0\t0\t1\t1\tKEY_A\t7:0x04\t-\t-\tchar\t-\n"
                                     "Space\t2\t2\t1\t0\t6.25\t1\tKEY_SPACE\t7:0x2C\t-\t-\tcontrol\tspace\n"
                                     "App0\t89\t7\t0\t1\t1\t1\t-\t12:0x184\tWord*\t7:0x7E\tapp\t-\n");

std::optional<KeyTable> parsed(const QString &rows, QString *error)
{
    auto table = KeyTable::parse(kHeader + rows, error);
    if (!table)
        return std::nullopt;
    const auto lookup = [](const QString &name) -> std::optional<int> {
        if (name == QLatin1String("KEY_A"))
            return 30;
        if (name == QLatin1String("KEY_SPACE"))
            return 57;
        return std::nullopt;
    };
    if (!table->resolveEvdevCodes(lookup, error) || !table->validate(error))
        return std::nullopt;
    return table;
}

TEST(KeyTable, ReadsAGoodTable)
{
    QString error;
    const auto table = parsed(kGood, &error);
    ASSERT_TRUE(table) << error.toStdString();
    ASSERT_EQ(table->keys().size(), 3u);
    const KeyTable::Key &space = table->keys()[1];
    EXPECT_EQ(table->capRect(space), QRect(12 + 52, 19, 325, 52));
    EXPECT_EQ(table->cellRect(space), QRect(12 + 52 + 138, 19 + 2, 48, 48));
    EXPECT_EQ(table->outlineRect(space), QRect(12 + 52 + 2, 19 + 2, 321, 48));
    EXPECT_EQ(table->keys()[0].x11KeyCode(), 38);
    EXPECT_EQ(table->keys()[2].x11KeyCode(), 0);
    EXPECT_EQ(table->keys()[2].usageName(), "Word*");
}

struct BadTable
{
    const char *name;
    QString rows;
    const char *complaint;
};

class KeyTableRejects : public testing::TestWithParam<BadTable>
{
};

TEST_P(KeyTableRejects, WithTheReason)
{
    QString error;
    EXPECT_FALSE(parsed(GetParam().rows, &error));
    EXPECT_TRUE(error.contains(QLatin1String(GetParam().complaint))) << error.toStdString();
}

const BadTable kBadTables[] = {
    {"overlapping_caps", kGood + "B\t3\t3\t0.5\t0\t1\t1\tKEY_A\t7:0x05\t-\t-\tchar\t-\n", "overlaps"},
    {"outside_picture", kGood + "B\t3\t3\t24.5\t0\t1\t1\tKEY_A\t7:0x05\t-\t-\tchar\t-\n", "leaves the"},
    {"display_twice", kGood + "B\t1\t3\t0\t3\t1\t1\tKEY_A\t7:0x05\t-\t-\tchar\t-\n", "display 1"},
    {"name_twice", kGood + "A\t3\t3\t0\t3\t1\t1\tKEY_A\t7:0x05\t-\t-\tchar\t-\n", "twice"},
    {"usage_twice", kGood + "B\t3\t3\t0\t3\t1\t1\tKEY_A\t7:0x04\t-\t-\tchar\t-\n", "usage"},
    {"display_out_of_range", "A\t115\t1\t0\t0\t1\t1\tKEY_A\t7:0x04\t-\t-\tchar\t-\n", "display must"},
    {"off_quarter_grid", "A\t1\t1\t0.1\t0\t1\t1\tKEY_A\t7:0x04\t-\t-\tchar\t-\n", "quarters"},
    {"bad_usage", "A\t1\t1\t0\t0\t1\t1\tKEY_A\t7-4\t-\t-\tchar\t-\n", "page:usage"},
    {"control_without_labels", "Esc\t1\t1\t0\t0\t1\t1\tKEY_A\t7:0x29\t-\t-\tcontrol\t-\n", "label"},
    {"unknown_evdev_name", "A\t1\t1\t0\t0\t1\t1\tKEY_NOPE\t7:0x04\t-\t-\tchar\t-\n", "KEY_NOPE"},
    {"missing_column", "A\t1\t1\t0\t0\t1\t1\tKEY_A\t7:0x04\t-\tchar\t-\n", "columns"},
    {"driver_usage_off_page", "A\t1\t1\t0\t0\t1\t1\tKEY_A\t7:0x04\t-\t12:0x7E\tchar\t-\n", "driver"},
};

INSTANTIATE_TEST_SUITE_P(Rows, KeyTableRejects, testing::ValuesIn(kBadTables), brevona::test::RowName());

TEST(KeyTable, NeedsTheHeader)
{
    QString error;
    EXPECT_FALSE(KeyTable::parse(
        QStringLiteral("@unit\t52\nA\t1\t1\t0\t0\t1\t1\tKEY_A\t7:4\t-\t-\tchar\t-\n"), &error));
    EXPECT_TRUE(error.contains(QLatin1String("header"))) << error.toStdString();
}

TEST(EvdevCodes, ReadsNumbersAndAliases)
{
    const EvdevCodes codes = EvdevCodes::parse(QStringLiteral("#define KEY_A\t\t\t30\n"
                                                              "#define KEY_MUTE 113\n"
                                                              "#define KEY_MIN_INTERESTING\tKEY_MUTE\n"
                                                              "#define KEY_CNT (KEY_MAX+1)\n"
                                                              "#define BTN_LEFT 0x110\n"));
    EXPECT_EQ(codes.code("KEY_A"), 30);
    EXPECT_EQ(codes.code("KEY_MIN_INTERESTING"), 113);
    EXPECT_FALSE(codes.code("KEY_CNT"));
    EXPECT_FALSE(codes.code("BTN_LEFT"));
}

} // namespace
