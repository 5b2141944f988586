// What the display and action menus do to the selected keys of a real store: the one command each
// choice sends (RecordingLink checks it against the files), the pages the settings areas show, the
// menus' order and texts, the picture notice, and settings edits with undo.
#include <QUndoStack>

#include <gtest/gtest.h>

#include "KeysFixture.h"
#include "NullMarker.h"
#include "PropertyList.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

using Outcome = KCLayerManager::Outcome;
using Page = KCDisplayActionManager::Page;
const QString kProbe = "brevona.test.probe";
const QString kAction = "brevona.test.action";
const QString kUntouched = "A:#ff0000// B:#000000/probe/action";

// Layer L: A shows a picture, B runs the probe display and the probe action, C is absent.
class DisplayAction : public KeysFixture
{
protected:
    void SetUp() override
    {
        const QVariantMap probe{{"Signature", kProbe}, {"Settings", QVariantMap{{"x", 1}}}};
        const QVariantMap plugins{{"DisplayPlugin", probe},
                                  {"ActionPlugin", QVariantMap{{"Signature", kAction}}}};
        startStore({"L"}, {{"L",
                            {{"A", KCLayerManager::KeyState{filled(Qt::red), {}}},
                             {"B", KCLayerManager::KeyState{filled(Qt::black), plugins}}}}});
    }

    // The commands sent, each with the keys it names.
    QString sent() const
    {
        QStringList texts;
        for (const RecordingLink::Sent &command : link.sent) {
            const QVariant buttons = command.info.value("Buttons");
            QStringList keys =
                buttons.typeId() == QMetaType::QVariantMap ? buttons.toMap().keys() : buttons.toStringList();
            texts << command.name + "(" + keys.join(',') + ")";
        }
        return texts.join(' ');
    }
};

struct ChoiceRow
{
    const char *name;
    QStringList keys;
    bool display; // else the action menu
    QString signature;
    QString sent;  // the commands, with the keys they name
    QString after; // the layer's keys
    Outcome outcome = Outcome::Done;
};

// clang-format off
const ChoiceRow kChoices[] = {
    {.name = "nothing_removes_the_keys_in_one_command", .keys = {"A", "B", "C"}, .display = true, .signature = "display.nothing", .sent = "ButtonsDeleted(A,B)", .after = ""},
    {.name = "picture_replaces_a_display_plugin", .keys = {"B"}, .display = true, .signature = "lumivox.picture", .sent = "ButtonsChanged(B)", .after = "A:#ff0000// B:#000000//action"},
    {.name = "a_display_plugin_makes_an_absent_key", .keys = {"A", "C"}, .display = true, .signature = kProbe, .sent = "ButtonsChanged(A,C)", .after = "A:#ff0000/probe/ B:#000000/probe/action C:#000000/probe/"},
    {.name = "default_leaves_an_absent_key_absent", .keys = {"B", "C"}, .display = false, .signature = "default.keystroke", .sent = "ButtonsChanged(B)", .after = "A:#ff0000// B:#000000/probe/"},
    {.name = "default_on_absent_keys_alone_sends_nothing", .keys = {"C"}, .display = false, .signature = "default.keystroke", .sent = "", .after = kUntouched},
    {.name = "no_selection_is_refused", .keys = {}, .display = true, .signature = kProbe, .sent = "", .after = kUntouched, .outcome = Outcome::Refused},
    {.name = "an_unknown_signature_is_refused", .keys = {"A"}, .display = true, .signature = "brevona.test.unknown", .sent = "", .after = kUntouched, .outcome = Outcome::Refused},
    {.name = "a_display_plugin_is_no_action", .keys = {"A"}, .display = false, .signature = kProbe, .sent = "", .after = kUntouched, .outcome = Outcome::Refused},
    {.name = "an_action_plugin_makes_an_absent_key", .keys = {"C"}, .display = false, .signature = kAction, .sent = "ButtonsChanged(C)", .after = kUntouched + " C:#000000//action"},
};
// clang-format on

class Choices : public DisplayAction, public testing::WithParamInterface<ChoiceRow>
{
};

TEST_P(Choices, SendOneCommandAndUndoPutsTheFilesBackOrAreRefused)
{
    const ChoiceRow &row = GetParam();
    const QVariant before = link.plist("L").value("Buttons");
    manager.setSelection("L", row.keys);
    const Outcome outcome =
        row.display ? manager.changeDisplay(row.signature) : manager.changeAction(row.signature);
    ASSERT_EQ(outcome, row.outcome) << manager.lastError().toStdString();
    EXPECT_EQ(sent(), row.sent);
    EXPECT_EQ(keys("L"), row.after);
    if (!row.sent.isEmpty()) {
        layers.undoStack()->undo();
        EXPECT_EQ(PropertyList::toData(link.plist("L").value("Buttons")).value_or(""),
                  PropertyList::toData(before).value_or(""));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Choices, testing::ValuesIn(kChoices), RowName());

struct SideRow
{
    const char *name;
    QStringList keys;
    Page display;
    QString displayChecked;
    Page action;
    QString actionChecked;
};

// clang-format off
const SideRow kSides[] = {
    {.name = "none", .keys = {}, .display = Page::Empty, .displayChecked = "", .action = Page::Empty, .actionChecked = ""},
    {.name = "picture_key", .keys = {"A"}, .display = Page::Picture, .displayChecked = "lumivox.picture", .action = Page::Empty, .actionChecked = "default.keystroke"},
    {.name = "plugin_key_without_views", .keys = {"B"}, .display = Page::NoOptions, .displayChecked = kProbe, .action = Page::Empty, .actionChecked = kAction},
    {.name = "absent_key", .keys = {"C"}, .display = Page::Empty, .displayChecked = "display.nothing", .action = Page::Empty, .actionChecked = "default.keystroke"},
    {.name = "mixed", .keys = {"A", "B"}, .display = Page::Multiple, .displayChecked = "", .action = Page::Multiple, .actionChecked = ""},
};
// clang-format on

TEST_F(DisplayAction, TheSettingsAreasFollowTheSelection)
{
    for (const SideRow &row : kSides) {
        manager.setSelection("L", row.keys);
        EXPECT_EQ(manager.displaySide().page, row.display) << row.name;
        EXPECT_EQ(manager.displaySide().checked, row.displayChecked) << row.name;
        EXPECT_EQ(manager.actionSide().page, row.action) << row.name;
        EXPECT_EQ(manager.actionSide().checked, row.actionChecked) << row.name;
    }
}

TEST_F(DisplayAction, MenusListReservedEntriesThenCategoriesWithShortenedDescriptions)
{
    manager.setSelection("L", {"A", "B"});
    QStringList display;
    for (const auto &entry : manager.displayMenu())
        display << (entry.role == KCDisplayActionManager::MenuEntry::Role::Separator ? "|" : entry.title);
    // The probe bundles name none of their plugins: a plugin without a name is not offered.
    EXPECT_EQ(display.join(','), "Nothing,|,General,Picture");
    EXPECT_EQ(KCDisplayActionManager::shortenedDescription(QString(35, 'x')), QString(35, 'x'));
    EXPECT_EQ(KCDisplayActionManager::shortenedDescription(QString(36, 'x')), QString(30, 'x') + "...");
}

TEST_F(DisplayAction, PictureEditsWithinTheWaitAreOneEditForTheKeysOfThen)
{
    manager.setSelection("L", {"A"});
    QImage red(48, 48, QImage::Format_RGB32);
    red.fill(Qt::red);
    manager.applyPicture(red);
    red.fill(Qt::blue);
    manager.applyPicture(red);
    manager.setSelection("L", {"B"});
    ASSERT_TRUE(waitUntil([&] { return !link.sent.empty(); }));
    EXPECT_EQ(sent(), "ButtonsChanged(A)");
    EXPECT_EQ(layers.keyState("L", "A")->picture.pixelColor(24, 24), QColor(Qt::blue));

    // A key removed before the wait ends keeps its removal.
    manager.setSelection("L", {"B"});
    manager.applyPicture(red);
    ASSERT_EQ(manager.deleteButtons(), Outcome::Done);
    link.sent.clear();
    EXPECT_EQ(manager.flushPicture(), Outcome::Done);
    EXPECT_EQ(sent(), "");
    EXPECT_FALSE(layers.keyState("L", "B"));
}

TEST(StockPictures, AreCutRowByRowFromTheTopLeft)
{
    const QList<QImage> pictures = KCDisplayActionManager::stockPictures();
    ASSERT_EQ(pictures.size(), 30);
    // The first row starts with green "play", then "back", then a red "stop".
    EXPECT_GT(pictures[0].pixelColor(24, 24).green(), 150);
    EXPECT_GT(pictures[2].pixelColor(24, 24).red(), 200);
    EXPECT_LT(pictures[2].pixelColor(24, 24).green(), 100);
}

// A file that is no picture at all: the UnreadablePicture row of LayersToolTest.
TEST_F(DisplayAction, PictureFilesTooLargeAreRefusedFromTheirHeader)
{
    const struct
    {
        QSize size;
        bool read;
    } cases[] = {{{8192, 4}, true}, {{8193, 4}, false}, {{4, 9000}, false}};
    for (const auto &c : cases) {
        QImage picture(c.size, QImage::Format_Mono);
        picture.fill(0);
        const QString path = home.path() + "/picture.png";
        ASSERT_TRUE(picture.save(path));
        const auto read = KCDisplayActionManager::readPictureFile(path);
        EXPECT_EQ(read.has_value(), c.read) << c.size.width() << "x" << c.size.height();
        EXPECT_EQ(read.error().contains("at most 8192"), !c.read);
    }
}

// The merging of one pass's changes is the trampoline's (SettingsProxyTest); here the store and undo.
TEST_F(DisplayAction, SettingEditsReachTheStoreAndAreUndone)
{
    const auto display = [](const QVariantMap &buttons) {
        return buttons.value("B").toMap().value("DisplayPlugin").toMap();
    };
    manager.setSelection("L", {"B"});
    KCSettingsProxy *proxy = manager.proxyForSignature(kProbe);
    EXPECT_EQ(proxy->valueForKey("x"), 1);
    proxy->setValue(2, "x");
    proxy->setValue("y", "label");
    ASSERT_TRUE(waitUntil([&] { return !link.sent.empty(); }));
    EXPECT_EQ(sent(), "PluginSettings(B)");
    EXPECT_EQ(display(link.plist("L").value("Buttons").toMap()).value("Settings").toMap(),
              (QVariantMap{{"x", 2}, {"label", "y"}}));

    // Undone, the driver hears that the new setting is gone.
    link.sent.clear();
    layers.undoStack()->undo();
    ASSERT_TRUE(waitUntil([&] { return !link.sent.empty(); }));
    EXPECT_EQ(display(link.plist("L").value("Buttons").toMap()).value("Settings").toMap(),
              (QVariantMap{{"x", 2}}));
    EXPECT_TRUE(isNullMarker(display(link.sent[0].info.value("Buttons").toMap()).value("label")));
}

} // namespace
} // namespace brevona::test
