#include <optional>
#include <ostream>

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
#include "TestEventLoop.h"
#include "TestHome.h"
#include "X11TestTools.h"
#include "XvfbServer.h"
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

// Counts the change notifications while it lives.
class SetupChanges
{
public:
    SetupChanges()
    {
        NotificationCenter::defaultCenter().addObserver(this, notifications::LanguageSetupChanged,
                                                        [this](Notification &) { ++count; });
    }
    ~SetupChanges() { NotificationCenter::defaultCenter().removeObserver(this); }
    int count = 0;
};

// ---------------------------------------------------------------- the enabled languages

struct SetupCase
{
    const char *description;
    std::optional<QStringList> before;
    std::optional<QStringList> after;
    std::optional<int> afterIndex = 0;
    int notifications;
    QStringList languages; // the layouts listed afterwards
    int logs = 0;
};

void PrintTo(const SetupCase &row, std::ostream *out)
{
    *out << row.description;
}

class LanguageSetupTest : public ::testing::TestWithParam<SetupCase>
{
};

TEST_P(LanguageSetupTest, PostsOnlyRealChanges)
{
    const SetupCase &row = GetParam();
    test::LogCapture log;
    FakeLanguageSource source;
    FakeKeyboardLayouts layouts;
    source.setLayouts(row.before, 0);
    LanguagesHelper helper(source, layouts);
    SetupChanges changes;
    source.setLayouts(row.after, row.afterIndex);
    EXPECT_EQ(changes.count, row.notifications);
    EXPECT_EQ(helper.availableLayouts(), row.languages);
    EXPECT_EQ(helper.availableLanguageIDs(), identifiers(row.languages));
    EXPECT_EQ(log.messages().size(), row.logs) << log.messages().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Rows, LanguageSetupTest,
                         ::testing::Values(SetupCase{.description = "LayoutAdded",
                                                     .before = QStringList{"us"},
                                                     .after = QStringList{"us", "de"},
                                                     .notifications = 1,
                                                     .languages = {"us", "de"}},
                                           SetupCase{.description = "GroupSwitched",
                                                     .before = QStringList{"us", "de"},
                                                     .after = QStringList{"us", "de"},
                                                     .afterIndex = 1,
                                                     .notifications = 0,
                                                     .languages = {"us", "de"}},
                                           SetupCase{.description = "LayoutEnabledTwice",
                                                     .before = QStringList{"us"},
                                                     .after = QStringList{"us", "us"},
                                                     .notifications = 0,
                                                     .languages = {"us"}},
                                           SetupCase{.description = "OrderChanged",
                                                     .before = QStringList{"us", "de"},
                                                     .after = QStringList{"de", "us"},
                                                     .notifications = 1,
                                                     .languages = {"de", "us"}},
                                           SetupCase{.description = "VariantIsAnotherLanguage",
                                                     .before = QStringList{"de"},
                                                     .after = QStringList{"de(nodeadkeys)"},
                                                     .notifications = 1,
                                                     .languages = {"de(nodeadkeys)"}},
                                           SetupCase{.description = "SessionLost",
                                                     .before = QStringList{"us", "de"},
                                                     .after = std::nullopt,
                                                     .afterIndex = std::nullopt,
                                                     .notifications = 1,
                                                     .languages = {"us"},
                                                     .logs = 1},
                                           SetupCase{.description = "NoSessionAtAll",
                                                     .before = std::nullopt,
                                                     .after = std::nullopt,
                                                     .notifications = 0,
                                                     .languages = {"us"},
                                                     .logs = 1},
                                           SetupCase{.description = "SessionBackWithTheSameLayout",
                                                     .before = std::nullopt,
                                                     .after = QStringList{"us"},
                                                     .notifications = 0,
                                                     .languages = {"us"},
                                                     .logs = 1}));

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

struct TranslationCase
{
    const char *description;
    QString layout;
    QString key;
    unsigned mask;
    QString expected;
};

void PrintTo(const TranslationCase &row, std::ostream *out)
{
    *out << row.description;
}

class KeyTranslationTest : public ::testing::TestWithParam<TranslationCase>
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
    const TranslationCase &row = GetParam();
    EXPECT_EQ(translator.characters(row.layout, row.key, row.mask), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KeyTranslationTest,
    ::testing::Values(
        TranslationCase{.description = "Plain", .layout = "de", .key = "Q", .mask = 0, .expected = "q"},
        TranslationCase{.description = "Shift",
                        .layout = "de",
                        .key = "Q",
                        .mask = KeyTranslator::kShift,
                        .expected = "Q"},
        TranslationCase{.description = "OptionIsTheThirdLevel",
                        .layout = "de",
                        .key = "Q",
                        .mask = KeyTranslator::kOption,
                        .expected = "@"},
        TranslationCase{.description = "ShiftAndCapsLock",
                        .layout = "de",
                        .key = "Q",
                        .mask = KeyTranslator::kShift | KeyTranslator::kCapsLock,
                        .expected = "q"},
        TranslationCase{.description = "CommandAndControlChangeNothing",
                        .layout = "de",
                        .key = "Q",
                        .mask = 0x100 | 0x1000 | KeyTranslator::kShift,
                        .expected = "Q"},
        TranslationCase{
            .description = "KeyWithoutCode", .layout = "de", .key = "F1", .mask = 0, .expected = ""},
        TranslationCase{
            .description = "UnknownLayout", .layout = "xx", .key = "Q", .mask = 0, .expected = ""}));

// ---------------------------------------------------------------- one real session

TEST(LanguagesX11Test, FollowsTheSessionAndTranslatesWithItsLayouts)
{
    if (!test::XvfbServer::isInstalled())
        GTEST_SKIP() << "Xvfb is not installed";
    test::TestHome home;
    // Layout names in English, whatever the machine's language.
    home.setEnvironment("LANGUAGE", QStringLiteral("en"));
    test::XvfbServer x;
    ASSERT_TRUE(x.start());
    ASSERT_TRUE(x.run("setxkbmap", {"-layout", "us"}));

    X11LanguageSource source(x.display());
    XkbKeyboardLayouts layouts;
    LanguagesHelper helper(source, layouts);
    SetupChanges changes;
    EXPECT_EQ(helper.availableLayouts(), QStringList{"us"});

    ASSERT_TRUE(x.run("setxkbmap", {"-layout", "us,de"}));
    ASSERT_TRUE(test::pumpUntil([&] { return changes.count > 0; }));
    EXPECT_EQ(helper.availableLayouts(), (QStringList{"us", "de"}));
    const int german = LanguageTable::identifierForLayout("de");
    EXPECT_EQ(helper.languageNameForID(german), "German");

    // Switching to the second layout is no change of the set. The group read back proves the
    // session's events have all been handled.
    ASSERT_TRUE(test::lockGroup(x.display(), 1));
    ASSERT_TRUE(test::pumpUntil([&] { return helper.currentLanguageID() == german; }));
    EXPECT_EQ(changes.count, 1);

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
        {.layout = us, .key = "2", .mask = KeyTranslator::kShift, .expected = "@"},
        {.layout = de, .key = "2", .mask = KeyTranslator::kShift, .expected = "\""},
        {.layout = de, .key = "Y", .mask = 0, .expected = "z"},
        {.layout = de, .key = "A", .mask = KeyTranslator::kCapsLock, .expected = "A"},
        {.layout = de, .key = "Q", .mask = KeyTranslator::kOption, .expected = "@"},
        {.layout = de, .key = "E", .mask = KeyTranslator::kOption, .expected = "€"},
        {.layout = us, .key = "Q", .mask = KeyTranslator::kOption, .expected = "q"},
        {.layout = de, .key = "Equal", .mask = 0, .expected = "´"},
        {.layout = de, .key = "Equal", .mask = KeyTranslator::kShift, .expected = "`"},
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
