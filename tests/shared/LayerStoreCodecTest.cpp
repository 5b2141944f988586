#include <optional>

#include <QDateTime>
#include <QMetaType>
#include <QTimeZone>
#include <QVariantList>
#include <QVariantMap>

#include <gtest/gtest.h>

#include "FakeMachineIdentity.h"
#include "KeyedArchive.h"
#include "LayerStoreCodec.h"
#include "MachineIdentity.h"
#include "NullMarker.h"
#include "PropertyList.h"
#include "SSCrypto.h"
#include "TestPrinters.h"

using brevona::FakeMachineIdentity;
using brevona::LayerStoreCodec;
using brevona::MachineIdentity;
using brevona::SSCrypto;

namespace {

const QString kThisMachine = QStringLiteral("TEST-MACHINE-SERIAL-0001");

// The key text is fixed once per process, so this program's machine identity is installed before
// any test runs.
class ThisMachine : public ::testing::Environment
{
public:
    void SetUp() override { MachineIdentity::setInstance(&identity); }
    void TearDown() override { MachineIdentity::setInstance(nullptr); }
    FakeMachineIdentity identity{kThisMachine};
};

ThisMachine *const g_thisMachine =
    static_cast<ThisMachine *>(::testing::AddGlobalTestEnvironment(new ThisMachine));

QVariantMap pluginEntry(const QString &signature, const QVariantMap &settings)
{
    return {{"Signature", signature}, {"Settings", settings}};
}

QVariantMap buttonsWith(const QVariantMap &displaySettings, const QVariantMap &actionSettings)
{
    return {{"App0", QVariantMap{{"DisplayPlugin", pluginEntry("com.example.display", displaySettings)},
                                 {"ActionPlugin", pluginEntry("com.example.action", actionSettings)}}}};
}

QVariantMap settingsOf(const QVariantMap &buttons, const QString &button, const QString &plugin)
{
    return buttons.value(button).toMap().value(plugin).toMap().value("Settings").toMap();
}

QDateTime fixedDate()
{
    return QDateTime(QDate(2021, 3, 14), QTime(15, 9, 26), QTimeZone::utc());
}

TEST(LayerStoreCodecTest, KeyTextIsTheSerialElseTheFallback)
{
    const QString &fallback = LayerStoreCodec::fallbackKeyText();
    EXPECT_EQ(fallback.size(), 29);
    EXPECT_TRUE(fallback.contains("pQ%%w2Zx")) << "the percent signs are literal";

    EXPECT_EQ(LayerStoreCodec::keyTextFor(FakeMachineIdentity(QString("C02XK1ABJGH5"))), "C02XK1ABJGH5");
    EXPECT_EQ(LayerStoreCodec::keyTextFor(FakeMachineIdentity(std::nullopt)), fallback);
    EXPECT_EQ(LayerStoreCodec::keyTextFor(FakeMachineIdentity(QString())), fallback);
}

TEST(LayerStoreCodecTest, KeyTextIsDeterminedOncePerProcess)
{
    EXPECT_EQ(LayerStoreCodec::encryptorSalt(), kThisMachine);
    const int reads = g_thisMachine->identity.readCount();
    EXPECT_LE(reads, 1);

    g_thisMachine->identity.setSerialNumber(QStringLiteral("CHANGED-LATER"));
    EXPECT_EQ(LayerStoreCodec::encryptorSalt(), kThisMachine);
    EXPECT_EQ(&LayerStoreCodec::ssCrypto(), &LayerStoreCodec::ssCrypto());
    EXPECT_EQ(g_thisMachine->identity.readCount(), reads);
    g_thisMachine->identity.setSerialNumber(kThisMachine);

    // The process cipher is the one built from that text.
    const QByteArray sealed = *SSCrypto(kThisMachine.toUtf8()).encrypt("abc");
    EXPECT_EQ(LayerStoreCodec::decryptString(sealed), QString("abc"));
}

// One setting through encoding and back.
enum class OnDisk
{
    Unchanged,
    Encrypted,
    Archived,
    Removed
};

struct SettingCase
{
    const char *name;
    QString key;
    QVariant inMemory;
    OnDisk onDisk;
};

class LayerStoreCodecSettingTest : public ::testing::TestWithParam<SettingCase>
{
};

TEST_P(LayerStoreCodecSettingTest, EncodesAndDecodes)
{
    const SettingCase &c = GetParam();
    // The setting sits beside an ordinary one in both plugin entries.
    const QVariantMap settings{{c.key, c.inMemory}, {"Neighbour", QStringLiteral("stays")}};
    const QVariantMap inMemory = buttonsWith(settings, settings);

    const QVariantMap onDisk = LayerStoreCodec::archiveButtonsInfo(inMemory, false);

    for (const char *plugin : {"DisplayPlugin", "ActionPlugin"}) {
        SCOPED_TRACE(plugin);
        const QVariantMap stored = settingsOf(onDisk, "App0", plugin);
        EXPECT_EQ(stored.value("Neighbour"), QStringLiteral("stays"));
        const QVariant value = stored.value(c.key);
        switch (c.onDisk) {
        case OnDisk::Unchanged:
            EXPECT_EQ(value, c.inMemory);
            EXPECT_EQ(value.typeId(), c.inMemory.typeId());
            break;
        case OnDisk::Encrypted:
            ASSERT_EQ(value.typeId(), QMetaType::QByteArray);
            if (!c.inMemory.toString().isEmpty()) {
                EXPECT_FALSE(value.toByteArray().contains(c.inMemory.toString().toUtf8()));
            }
            break;
        case OnDisk::Archived:
            ASSERT_EQ(value.typeId(), QMetaType::QByteArray);
            EXPECT_TRUE(value.toByteArray().startsWith("bplist00") ||
                        value.toByteArray().startsWith("<?xml"));
            break;
        case OnDisk::Removed:
            EXPECT_FALSE(stored.contains(c.key));
            break;
        }
        EXPECT_TRUE(brevona::PropertyList::isPropertyList(stored)) << "the on-disk form is writable";
    }

    const QVariantMap decoded = LayerStoreCodec::archiveButtonsInfo(onDisk, true);
    QVariantMap expectedSettings = settings;
    if (c.onDisk == OnDisk::Removed)
        expectedSettings.remove(c.key);
    EXPECT_EQ(decoded, buttonsWith(expectedSettings, expectedSettings));
    // Types survive exactly, not just by conversion.
    if (c.onDisk != OnDisk::Removed) {
        EXPECT_EQ(settingsOf(decoded, "App0", "ActionPlugin").value(c.key).typeId(), c.inMemory.typeId());
    }
}

QVariantList sampleArray()
{
    return {QStringLiteral("one"),
            qint64(2),
            3.5,
            true,
            QByteArray("\x00\x01", 2),
            QVariantMap{{"inner", QVariantList{QStringLiteral("x")}}},
            fixedDate()};
}

const QByteArray
    kPlistThatIsNoArchive("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                          "<key>a</key><string>b</string></dict></plist>");

const SettingCase kSettings[] = {
    {"protected_text", "_x_Password", QStringLiteral("abc"), OnDisk::Encrypted},
    {"protected_empty_text", "_x_Password", QString(""), OnDisk::Encrypted},
    {"protected_unicode", "_x_Token", QStringLiteral("Grüße ✓"), OnDisk::Encrypted},
    {"protected_number", "_x_Pin", qint64(1234), OnDisk::Removed},
    {"protected_null", "_x_Gone", brevona::nullMarker(), OnDisk::Removed},
    {"prefix_is_case_sensitive", "_X_Visible", QStringLiteral("abc"), OnDisk::Unchanged},
    {"scrambled", "#Secret", QStringLiteral("4F2A19"), OnDisk::Unchanged},
    {"text", "Name", QStringLiteral("text"), OnDisk::Unchanged},
    {"plain_data", "Blob", QByteArray("not an archive at all"), OnDisk::Unchanged},
    {"plist_that_is_no_archive", "Blob", kPlistThatIsNoArchive, OnDisk::Unchanged},
    {"dictionary", "Dict", QVariantMap{{"list", QVariantList{qint64(1)}}}, OnDisk::Unchanged},
    {"null", "Nothing", brevona::nullMarker(), OnDisk::Unchanged},
    {"array", "List", sampleArray(), OnDisk::Archived},
    {"empty_array", "List", QVariantList{}, OnDisk::Archived},
    {"date", "When", fixedDate(), OnDisk::Archived},
};

INSTANTIATE_TEST_SUITE_P(Table, LayerStoreCodecSettingTest, ::testing::ValuesIn(kSettings),
                         brevona::test::RowName());

// A string list is an array too (it reads back as a list of strings).
TEST(LayerStoreCodecTest, StringListsAreArchivedLikeArrays)
{
    EXPECT_TRUE(LayerStoreCodec::shouldArchiveObject(QStringList{"a"}));
}

TEST(LayerStoreCodecTest, UndecryptableProtectedSettingsAreDropped)
{
    QByteArray damaged = *LayerStoreCodec::encryptString(QStringLiteral("abc"));
    damaged[damaged.size() - 1] = char(damaged[damaged.size() - 1] ^ 0x33);
    const QVariantMap onDisk{
        {"_x_Damaged", damaged},
        {"_x_NotUtf8", *LayerStoreCodec::ssCrypto().encrypt(QByteArray("\xff\xfe\x80 abc"))},
        {"_x_NotData", QStringLiteral("abc")},
        {"_x_Number", qint64(5)},
        {"_x_Good", *LayerStoreCodec::encryptString(QStringLiteral("ok"))},
    };
    const QVariantMap decoded = LayerStoreCodec::archiveButtonsInfo(buttonsWith(onDisk, onDisk), true);
    const QVariantMap expected{{"_x_Good", QStringLiteral("ok")}};
    EXPECT_EQ(settingsOf(decoded, "App0", "DisplayPlugin"), expected);
    EXPECT_EQ(settingsOf(decoded, "App0", "ActionPlugin"), expected);
}

// Data written by another program may archive any object, including one with no object at all.
TEST(LayerStoreCodecTest, ArchivedDataDecodesToItsObject)
{
    const QVariantMap onDisk{
        {"Text", *brevona::KeyedArchive::archive(QStringLiteral("archived text"))},
        {"Nothing", *brevona::KeyedArchive::archive(brevona::nullMarker())},
        {"Plain", QByteArray("\x00\x01\x02", 3)},
    };
    const QVariantMap decoded = LayerStoreCodec::archiveButtonsInfo(buttonsWith(onDisk, {}), true);
    const QVariantMap expected{{"Text", QStringLiteral("archived text")},
                               {"Plain", QByteArray("\x00\x01\x02", 3)}};
    EXPECT_EQ(settingsOf(decoded, "App0", "DisplayPlugin"), expected);
}

// Shapes the codec must pass through untouched in both directions: anything that is not a
// dictionary where one is expected, and entries without settings.
TEST(LayerStoreCodecTest, UnexpectedShapesPassThrough)
{
    const QVariantMap protectedSettings{{"_x_Password", QStringLiteral("abc")}, {"List", QVariantList{1}}};
    const QVariantMap shapes{
        {"EmptyEntry", QVariantMap{}},
        {"EntryIsArray", QVariantList{protectedSettings}},
        {"EntryIsNull", brevona::nullMarker()},
        {"PluginIsArray", QVariantMap{{"ActionPlugin", QVariantList{protectedSettings}}}},
        {"NoSettings", QVariantMap{{"DisplayPlugin", QVariantMap{{"Signature", "s"}}}}},
        {"SettingsIsArray",
         QVariantMap{{"ActionPlugin", QVariantMap{{"Settings", QVariantList{protectedSettings}}}}}},
        {"OtherPluginKey", QVariantMap{{"SomePlugin", pluginEntry("s", protectedSettings)}}},
    };
    for (const bool decode : {false, true}) {
        const QVariantMap result = LayerStoreCodec::archiveButtonsInfo(shapes, decode);
        EXPECT_EQ(result, shapes) << (decode ? "decode" : "encode");
    }
    EXPECT_TRUE(LayerStoreCodec::archiveButtonsInfo({}, false).isEmpty());
}

TEST(LayerStoreCodecTest, OtherKeysOfEntriesAreKept)
{
    const QVariantMap settings{{"_x_Password", QStringLiteral("abc")}};
    QVariantMap display = pluginEntry("com.example.display", settings);
    display.insert("Extra", qint64(1));
    const QVariantMap buttons{
        {"App1", QVariantMap{{"DisplayPlugin", display}, {"Note", QStringLiteral("kept")}}},
        // An action plugin with settings beside a display plugin without: each handled on its own.
        {"App2", QVariantMap{{"DisplayPlugin", QVariantMap{{"Signature", "s"}}},
                             {"ActionPlugin", pluginEntry("com.example.action", settings)}}},
    };
    const QVariantMap onDisk = LayerStoreCodec::archiveButtonsInfo(buttons, false);
    const QVariantMap app1 = onDisk.value("App1").toMap();
    EXPECT_EQ(app1.value("Note"), QStringLiteral("kept"));
    EXPECT_EQ(app1.value("DisplayPlugin").toMap().value("Extra"), qint64(1));
    EXPECT_EQ(onDisk.value("App2").toMap().value("DisplayPlugin"),
              buttons.value("App2").toMap().value("DisplayPlugin"));
    EXPECT_EQ(settingsOf(onDisk, "App2", "ActionPlugin").value("_x_Password").typeId(),
              QMetaType::QByteArray);
    EXPECT_EQ(LayerStoreCodec::archiveButtonsInfo(onDisk, true), buttons);
}

} // namespace
