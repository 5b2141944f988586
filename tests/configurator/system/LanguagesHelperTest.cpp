#include <optional>

#include <gtest/gtest.h>

#include "FakeKeyboardLayouts.h"
#include "FakeLanguageSource.h"
#include "KeyboardData.h"
#include "LanguageKeyTranslator.h"
#include "LanguageTable.h"
#include "LanguagesHelper.h"
#include "LogCapture.h"
#include "NotificationCenter.h"
#include "SystemNotificationNames.h"
#include "NotificationRecorder.h"
#include "TestPrinters.h"
#include "TestHome.h"
#include "XvfbTest.h"
#include "linux/X11LanguageSource.h"
#include "linux/XkbKeyboardLayouts.h"

using namespace brevona;

namespace {

QList<int> identifiers(const QStringList &layouts)
{
    QList<int> result;
    for (const QString &layout : layouts)
        result.append(LanguageTable::identifierForLayout(layout));
    return result;
}

// The session's layouts, comma-separated; "-": the session tells none.
std::optional<QStringList> layoutList(const char *text)
{
    if (QLatin1String(text) == QLatin1String("-"))
        return std::nullopt;
    return QString::fromLatin1(text).split(',');
}

// ---------------------------------------------------------------- the enabled languages

struct SetupRow
{
    const char *name;
    const char *before;
    const char *after;
    int afterIndex;
    int notifications;
    const char *languages; // the layouts listed afterwards
    int logs = 0;
};

class LanguageSetupTest : public ::testing::TestWithParam<SetupRow>
{
};

TEST_P(LanguageSetupTest, PostsOnlyRealChanges)
{
    const SetupRow &row = GetParam();
    test::LogCapture log;
    FakeLanguageSource source;
    FakeKeyboardLayouts layouts;
    source.setLayouts(layoutList(row.before), 0);
    LanguagesHelper helper(source, layouts);
    test::NotificationRecorder changes({notifications::LanguageSetupChanged});
    const auto after = layoutList(row.after);
    source.setLayouts(after, after ? std::optional<int>(row.afterIndex) : std::nullopt);
    EXPECT_EQ(changes.entries().size(), row.notifications);
    EXPECT_EQ(helper.availableLayouts(), *layoutList(row.languages));
    EXPECT_EQ(helper.availableLanguageIDs(), identifiers(*layoutList(row.languages)));
    EXPECT_EQ(log.messages().size(), row.logs) << log.messages().join('\n').toStdString();
}

// clang-format off
const SetupRow kSetupRows[] = {
    {.name = "LayoutAdded", .before = "us", .after = "us,de", .afterIndex = 0, .notifications = 1, .languages = "us,de"},
    {.name = "GroupSwitched", .before = "us,de", .after = "us,de", .afterIndex = 1, .notifications = 0, .languages = "us,de"},
    {.name = "EnabledTwice", .before = "us", .after = "us,us", .afterIndex = 0, .notifications = 0, .languages = "us"},
    {.name = "OrderChanged", .before = "us,de", .after = "de,us", .afterIndex = 0, .notifications = 1, .languages = "de,us"},
    {.name = "SessionLost", .before = "us,de", .after = "-", .afterIndex = 0, .notifications = 1, .languages = "us", .logs = 1},
    {.name = "NoSessionAtAll", .before = "-", .after = "-", .afterIndex = 0, .notifications = 0, .languages = "us", .logs = 1},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, LanguageSetupTest, ::testing::ValuesIn(kSetupRows), test::RowName());

TEST(LanguagesHelperTest, NamesAndTheLanguageInUse)
{
    FakeLanguageSource source;
    FakeKeyboardLayouts layouts;
    layouts.addLayout("de", "German");
    source.setLayouts(QStringList{"us", "de", "xx"}, 1);
    LanguagesHelper helper(source, layouts);
    const int german = LanguageTable::identifierForLayout("de");
    const int unknown = LanguageTable::identifierForLayout("xx");

    EXPECT_EQ(helper.currentLanguageID(), german);
    source.selectIndex(std::nullopt);
    EXPECT_EQ(helper.currentLanguageID(), 0);

    EXPECT_EQ(helper.languageNameForID(0), "English (US)");
    EXPECT_EQ(helper.languageNameForID(2), "English (UK)");
    EXPECT_EQ(helper.languageNameForID(german), "German");
    EXPECT_EQ(helper.languageNameForID(LanguageTable::identifierForLayout("zz(none)")), "");
    test::LogCapture log;
    EXPECT_EQ(helper.languageNameForID(unknown), "xx");
    EXPECT_EQ(helper.languageNameForID(unknown), "xx");
    EXPECT_EQ(log.messages().size(), 1);
}

// ---------------------------------------------------------------- key translation on the fake

struct TranslationRow
{
    const char *name;
    const char *layout;
    const char *key;
    unsigned mask;
    const char *expected;
};

class KeyTranslationTest : public ::testing::TestWithParam<TranslationRow>
{
};

TEST_P(KeyTranslationTest, MapsKeyAndModifiersToTheLayout)
{
    FakeKeyboardLayouts layouts;
    layouts.addLayout("de", "German");
    layouts.setCharacters("de", 24, 0, "q");
    layouts.setCharacters("de", 24, KeyboardLayouts::Shift, "Q");
    layouts.setCharacters("de", 24, KeyboardLayouts::ThirdLevel, "@");
    layouts.setCharacters("de", 24, KeyboardLayouts::CapsLock | KeyboardLayouts::Shift, "q");
    const LanguageKeyTranslator translator(layouts, {{"Q", 24}});
    const TranslationRow &row = GetParam();
    EXPECT_EQ(translator.characters(row.layout, row.key, row.mask), QString::fromUtf8(row.expected));
}

constexpr unsigned kShift = KeyTranslator::kShift;
constexpr unsigned kOption = KeyTranslator::kOption;
constexpr unsigned kCapsLock = KeyTranslator::kCapsLock;

const TranslationRow kTranslationRows[] = {
    {.name = "Plain", .layout = "de", .key = "Q", .mask = 0, .expected = "q"},
    {.name = "Shift", .layout = "de", .key = "Q", .mask = kShift, .expected = "Q"},
    {.name = "OptionIsTheThirdLevel", .layout = "de", .key = "Q", .mask = kOption, .expected = "@"},
    {.name = "ShiftAndCapsLock", .layout = "de", .key = "Q", .mask = kShift | kCapsLock, .expected = "q"},
    {.name = "CommandControlIgnored", .layout = "de", .key = "Q", .mask = 0x1100 | kShift, .expected = "Q"},
    {.name = "KeyWithoutCode", .layout = "de", .key = "F1", .mask = 0, .expected = ""},
    {.name = "UnknownLayout", .layout = "xx", .key = "Q", .mask = 0, .expected = ""},
};

INSTANTIATE_TEST_SUITE_P(Rows, KeyTranslationTest, ::testing::ValuesIn(kTranslationRows), test::RowName());

// ---------------------------------------------------------------- one real session

class LanguagesX11Test : public test::XvfbTest
{
protected:
    static void SetUpTestSuite() { startServer({.tools = {"setxkbmap"}}); }
};

TEST_F(LanguagesX11Test, TranslatesWithTheSessionsLayouts)
{
    test::TestHome home;
    // Layout names in English, whatever the machine's language.
    home.setEnvironment("LANGUAGE", QStringLiteral("en"));
    test::XvfbServer &x = server();
    ASSERT_TRUE(x.run("setxkbmap", {"-layout", "us,de"}));

    X11LanguageSource source(x.display());
    XkbKeyboardLayouts layouts;
    LanguagesHelper helper(source, layouts);
    EXPECT_EQ(helper.availableLayouts(), (QStringList{"us", "de"}));
    const int german = LanguageTable::identifierForLayout("de");
    EXPECT_EQ(helper.languageNameForID(german), "German");

    const KeyboardData keyboard = KeyboardData::load(QStringLiteral(BREVONA_BINARY_DIR "/resources")).value();
    const LanguageKeyTranslator translator(layouts, keyboard.virtualKeyCodes());
    const QString us = helper.layoutForID(0);
    const QString de = helper.layoutForID(german);
    struct Row
    {
        QString layout;
        QString key;
        unsigned mask;
        QString expected;
    };
    const Row rows[] = {
        {.layout = us, .key = "2", .mask = kShift, .expected = "@"},
        {.layout = de, .key = "2", .mask = kShift, .expected = "\""},
        {.layout = de, .key = "A", .mask = kCapsLock, .expected = "A"},
        {.layout = de, .key = "E", .mask = kOption, .expected = "€"},
        {.layout = us, .key = "Q", .mask = kOption, .expected = "q"},
        {.layout = de, .key = "Equal", .mask = 0, .expected = "´"},
        {.layout = de, .key = "Grave", .mask = 0, .expected = "^"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(translator.characters(row.layout, row.key, row.mask), row.expected)
            << row.layout.toStdString() << " " << row.key.toStdString() << " " << row.mask;

    test::LogCapture log;
    EXPECT_EQ(translator.characters("xx", "Q", 0), "");
    EXPECT_EQ(translator.characters("xx", "A", 0), "");
    EXPECT_EQ(translator.characters("../../etc/passwd", "A", 0), "");
    EXPECT_EQ(log.messages().size(), 2) << log.messages().join('\n').toStdString();
}

} // namespace
