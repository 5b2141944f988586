#include <limits>

#include <gtest/gtest.h>

#include "FakeX11Session.h"
#include "HidTestSupport.h"
#include "KDModifierMappingReader.h"
#include "SSHidIdleTime.h"
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
    const char *description;
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

INSTANTIATE_TEST_SUITE_P(
    Rows, XkbOptionsMappingTest,
    ::testing::Values(
        OptionsCase{"none", "", {}}, OptionsCase{"nocaps", "ctrl:nocaps", {{"CapsLock", "CtrlLeft"}}},
        OptionsCase{"swapcaps", "ctrl:swapcaps", {{"CapsLock", "CtrlLeft"}, {"CtrlLeft", "CapsLock"}}},
        OptionsCase{"caps_none", "caps:none", {{"CapsLock", "None"}}},
        OptionsCase{"caps_ctrl_modifier", "caps:ctrl_modifier", {{"CapsLock", "CtrlLeft"}}},
        OptionsCase{"swap_alt_win",
                    "altwin:swap_alt_win",
                    {{"AltLeft", "CmdLeft"},
                     {"CmdLeft", "AltLeft"},
                     {"AltRight", "CmdRight"},
                     {"CmdRight", "AltRight"}}},
        OptionsCase{
            "swap_lalt_lctl", "ctrl:swap_lalt_lctl", {{"AltLeft", "CtrlLeft"}, {"CtrlLeft", "AltLeft"}}},
        OptionsCase{"unrelated_options", "grp:alt_shift_toggle,compose:ralt,terminate:ctrl_alt_bksp", {}},
        OptionsCase{"mixed_with_unrelated", "grp:alt_shift_toggle, ctrl:nocaps", {{"CapsLock", "CtrlLeft"}}},
        OptionsCase{"later_option_wins_for_a_key", "ctrl:nocaps,caps:none", {{"CapsLock", "None"}}},
        OptionsCase{"later_option_keeps_other_keys",
                    "ctrl:swapcaps,ctrl:nocaps",
                    {{"CapsLock", "CtrlLeft"}, {"CtrlLeft", "CapsLock"}}},
        OptionsCase{"repeated_option",
                    "altwin:swap_lalt_lwin,altwin:swap_lalt_lwin",
                    {{"AltLeft", "CmdLeft"}, {"CmdLeft", "AltLeft"}}},
        OptionsCase{"combined_chain",
                    "ctrl:swap_lalt_lctl,altwin:swap_lalt_lwin",
                    {{"AltLeft", "CmdLeft"}, {"CtrlLeft", "AltLeft"}, {"CmdLeft", "AltLeft"}}}),
    [](const auto &info) { return std::string(info.param.description); });

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
    const char *description;
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

INSTANTIATE_TEST_SUITE_P(
    Rows, RulesNamesTest,
    ::testing::Values(RulesNamesCase{"two_options",
                                     rulesNames({"evdev", "pc105", "us,de", ",", "ctrl:nocaps,caps:none"}),
                                     {"ctrl:nocaps", "caps:none"}},
                      RulesNamesCase{"no_trailing_nul",
                                     rulesNames({"evdev", "pc105", "us", "", "ctrl:nocaps"}, false),
                                     {"ctrl:nocaps"}},
                      RulesNamesCase{"empty_options", rulesNames({"evdev", "pc105", "us", "", ""}), {}},
                      RulesNamesCase{"too_few_fields", rulesNames({"evdev", "pc105", "us"}, false), {}},
                      RulesNamesCase{"empty_property", QByteArray(), {}}),
    [](const auto &info) { return std::string(info.param.description); });

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
    EXPECT_EQ(reader.getMappingOfModifier("ShiftRight"), "None");
    EXPECT_EQ(reader.getMappingOfModifier("ShiftLeft"), "ShiftLeft");
    EXPECT_EQ(reader.getMappingOfModifier("Word*"), "Word*");
}

TEST(KDModifierMappingReaderTest, WithoutASessionEveryKeyActsAsItself)
{
    FakeX11Session session; // nothing readable, as without an X server
    KDModifierMappingReader reader(session);
    EXPECT_TRUE(reader.getMap().isEmpty());
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CapsLock");
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
    const char *description;
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
INSTANTIATE_TEST_SUITE_P(Rows, SSHidIdleTimeTest,
                         ::testing::Values(IdleCase{"no_session_counts_as_active", std::nullopt, 0, 0},
                                           IdleCase{"just_touched", 0, 0, 0},
                                           IdleCase{"rounds_down", 59'999'999'999ULL, 59'999'999'999ULL, 59},
                                           IdleCase{"whole_minute", 60'000'000'000ULL, 60'000'000'000ULL, 60},
                                           IdleCase{"beyond_32_bits_of_seconds", kMax64, kMax64,
                                                    std::numeric_limits<quint32>::max()}),
                         [](const auto &info) { return std::string(info.param.description); });

} // namespace
