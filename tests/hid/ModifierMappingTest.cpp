#include <limits>

#include <gtest/gtest.h>

#include "FakeX11Session.h"
#include "HidTestSupport.h"
#include "KDModifierMappingReader.h"
#include "SSHidIdleTime.h"
#include "TestPrinters.h"
#include "XkbModifierOptions.h"

using namespace brevona;

namespace {

using NameMap = QHash<QString, QString>;

// The fields joined with NUL, as the property holds them.
QByteArray rulesNames(std::initializer_list<const char *> fields, bool trailingNul = true)
{
    QByteArray property;
    for (const char *field : fields)
        property += QByteArray(field) + '\0';
    if (!trailingNul && !property.isEmpty())
        property.chop(1);
    return property;
}

// The session's XKB options as the reader presents them.
struct OptionsCase
{
    const char *name;
    const char *options; // as in _XKB_RULES_NAMES
    NameMap expected;
};

class XkbOptionsMappingTest : public ::testing::TestWithParam<OptionsCase>
{
};

TEST_P(XkbOptionsMappingTest, MapsToTheKeyNames)
{
    const QByteArray property = rulesNames({"evdev", "pc105", "us", "", GetParam().options});
    FakeX11Session session;
    session.setModifierRemapping(
        XkbModifierOptions::remappingForOptions(XkbModifierOptions::optionsFromRulesNames(property)));
    KDModifierMappingReader reader(session);
    EXPECT_EQ(reader.getMap(), GetParam().expected);
}

// clang-format off
const OptionsCase kXkbOptionsMappingRows[] = {
    {.name = "none", .options = "", .expected = {}},
    {.name = "nocaps", .options = "ctrl:nocaps", .expected = {{"CapsLock", "CtrlLeft"}}},
    {.name = "swapcaps", .options = "ctrl:swapcaps", .expected = {{"CapsLock", "CtrlLeft"}, {"CtrlLeft", "CapsLock"}}},
    {.name = "mixed_with_unrelated", .options = "grp:alt_shift_toggle, ctrl:nocaps", .expected = {{"CapsLock", "CtrlLeft"}}},
    {.name = "later_option_wins_for_a_key", .options = "ctrl:nocaps,caps:none", .expected = {{"CapsLock", "None"}}},
    {.name = "later_option_keeps_other_keys", .options = "ctrl:swapcaps,ctrl:nocaps", .expected = {{"CapsLock", "CtrlLeft"}, {"CtrlLeft", "CapsLock"}}},
    {.name = "repeated_option", .options = "altwin:swap_lalt_lwin,altwin:swap_lalt_lwin", .expected = {{"AltLeft", "CmdLeft"}, {"CmdLeft", "AltLeft"}}},
    {.name = "combined_chain", .options = "ctrl:swap_lalt_lctl,altwin:swap_lalt_lwin", .expected = {{"AltLeft", "CmdLeft"}, {"CtrlLeft", "AltLeft"}, {"CmdLeft", "AltLeft"}}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, XkbOptionsMappingTest, ::testing::ValuesIn(kXkbOptionsMappingRows),
                         brevona::test::RowName());

TEST(XkbModifierOptionsTest, EveryKnownOptionNamesOnlyTableKeys)
{
    for (const auto &option : XkbModifierOptions::knownOptions()) {
        EXPECT_FALSE(option.entries.empty()) << option.name;
        for (const ModifierRemapEntry &entry : option.entries) {
            EXPECT_TRUE(KDModifierMappingReader::nameForCode(entry.source)) << option.name;
            EXPECT_TRUE(KDModifierMappingReader::nameForCode(entry.destination)) << option.name;
            EXPECT_NE(entry.source, modifier_codes::None) << option.name;
        }
    }
}

struct RulesNamesCase
{
    const char *name;
    QByteArray property;
    QStringList options;
};

class RulesNamesTest : public ::testing::TestWithParam<RulesNamesCase>
{
};

TEST_P(RulesNamesTest, ReadsTheOptionsField)
{
    EXPECT_EQ(XkbModifierOptions::optionsFromRulesNames(GetParam().property), GetParam().options);
}

// clang-format off
const RulesNamesCase kRulesNamesRows[] = {
    {.name = "two_options", .property = rulesNames({"evdev", "pc105", "us,de", ",", "ctrl:nocaps,caps:none"}), .options = {"ctrl:nocaps", "caps:none"}},
    {.name = "no_trailing_nul", .property = rulesNames({"evdev", "pc105", "us", "", "ctrl:nocaps"}, false), .options = {"ctrl:nocaps"}},
    {.name = "empty_options", .property = rulesNames({"evdev", "pc105", "us", "", ""}), .options = {}},
    {.name = "too_few_fields", .property = rulesNames({"evdev", "pc105", "us"}, false), .options = {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, RulesNamesTest, ::testing::ValuesIn(kRulesNamesRows),
                         brevona::test::RowName());

TEST(KDModifierMappingReaderTest, TranslatesTheSystemCodesAndSkipsUnknownOnes)
{
    using namespace modifier_codes;
    FakeX11Session session;
    session.setModifierRemapping(std::vector<ModifierRemapEntry>{
        {CapsLock, CtrlLeft}, {ShiftRight, None}, {5, CtrlLeft}, {AltRight, 13}, {CmdRight, AltLeft}});
    KDModifierMappingReader reader(session);
    EXPECT_EQ(reader.getMap(),
              (NameMap{{"CapsLock", "CtrlLeft"}, {"ShiftRight", "None"}, {"CmdRight", "AltLeft"}}));
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CtrlLeft");
    EXPECT_EQ(reader.getMappingOfModifier("ShiftLeft"), "ShiftLeft");
}

TEST(KDModifierMappingReaderTest, ReadsOnceAndAgainAfterTheSessionChanged)
{
    FakeX11Session session;
    session.setModifierRemapping(
        std::vector<ModifierRemapEntry>{{modifier_codes::CapsLock, modifier_codes::None}});
    KDModifierMappingReader reader(session);
    int changes = 0;
    QObject::connect(&reader, &KDModifierMappingReader::mapChanged, [&changes] { ++changes; });
    EXPECT_EQ(session.remapReads(), 0);
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "None");
    EXPECT_EQ(reader.getMappingOfModifier("CtrlLeft"), "CtrlLeft");
    EXPECT_EQ(session.remapReads(), 1);
    session.setModifierRemapping(std::vector<ModifierRemapEntry>{});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CapsLock");
    EXPECT_EQ(session.remapReads(), 2);
}

struct IdleCase
{
    const char *name;
    std::optional<quint64> nanoseconds;
    quint64 idleTime;
    quint32 seconds;
};

class SSHidIdleTimeTest : public ::testing::TestWithParam<IdleCase>
{
};

TEST_P(SSHidIdleTimeTest, ReadsTheSessionsIdleTime)
{
    FakeX11Session session;
    session.setIdleNanoseconds(GetParam().nanoseconds);
    const SSHidIdleTime idle(session);
    EXPECT_EQ(idle.idleTime(), GetParam().idleTime);
    EXPECT_EQ(idle.idleTimeInSeconds(), GetParam().seconds);
}

constexpr quint64 kMax64 = std::numeric_limits<quint64>::max();
// clang-format off
const IdleCase kSSHidIdleTimeRows[] = {
    {.name = "no_session_counts_as_active", .nanoseconds = std::nullopt, .idleTime = 0, .seconds = 0},
    {.name = "rounds_down", .nanoseconds = 59'999'999'999ULL, .idleTime = 59'999'999'999ULL, .seconds = 59},
    {.name = "beyond_32_bits_of_seconds", .nanoseconds = kMax64, .idleTime = kMax64, .seconds = std::numeric_limits<quint32>::max()},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, SSHidIdleTimeTest, ::testing::ValuesIn(kSSHidIdleTimeRows),
                         brevona::test::RowName());

} // namespace
