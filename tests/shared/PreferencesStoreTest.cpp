#include <optional>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPoint>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "LogCapture.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "PythonPlist.h"
#include "TestPrinters.h"

using namespace brevona;
using Keys = PreferenceKeys;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QVariant kDefaultZones =
    QStringList{Keys::ZoneLayerImage, QString(), QString(), Keys::ZoneCurrentLanguage};

// ---------------------------------------------------------------- reading

struct ReadCase
{
    const char *name;
    const char *python = nullptr;       // plistlib writes this value first
    std::optional<QByteArray> raw = {}; // or these bytes are the file
    QString key;
    QVariant expected;
    const char *log = nullptr; // the one warning expected, by a part of its text
    bool setAside = false;
};

class PreferencesReadTest : public ::testing::TestWithParam<ReadCase>
{
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("prefs.plist"));
};

TEST_P(PreferencesReadTest, ReadsTheKeyInItsTypeOrTheDefault)
{
    const ReadCase &row = GetParam();
    if (row.python) {
        ASSERT_TRUE(PythonPlist::write(path, QString::fromUtf8(row.python), false))
            << PythonPlist::lastError().toStdString();
    }
    if (row.raw) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(*row.raw);
    }
    const QByteArray original = readBytes(path);

    test::LogCapture log;
    PreferencesStore store(path);
    EXPECT_EQ(store.value(row.key), row.expected);
    store.reload();
    EXPECT_EQ(store.value(row.key), row.expected);
    // One line, not one per reading.
    EXPECT_EQ(log.messages().size(), row.log ? 1 : 0) << log.messages().join('\n').toStdString();
    if (row.log) {
        EXPECT_EQ(log.count(QString::fromUtf8(row.log)), 1) << log.messages().join('\n').toStdString();
    }

    const QStringList aside =
        QDir(dir.path()).entryList({QStringLiteral("prefs.plist.unreadable-*")}, QDir::Files);
    EXPECT_EQ(QFile::exists(path), (row.python || row.raw) && !row.setAside);
    ASSERT_EQ(aside.size(), row.setAside ? 1 : 0);
    if (row.setAside) {
        EXPECT_EQ(readBytes(dir.filePath(aside.first())), original);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PreferencesReadTest,
    ::testing::Values(
        ReadCase{.name = "MissingFile", .key = Keys::KeyboardBrightness, .expected = 100.0},
        ReadCase{.name = "UnlistedKeyMissing", .key = QStringLiteral("Foreign"), .expected = QVariant()},
        ReadCase{.name = "IntegerForNumber",
                 .python = "{'KeyboardBrightness': 80}",
                 .key = Keys::KeyboardBrightness,
                 .expected = 80.0},
        ReadCase{.name = "RealForInteger",
                 .python = "{'KeyboardSleepTimeout': 45.7}",
                 .key = Keys::KeyboardSleepTimeout,
                 .expected = qint64(45)},
        ReadCase{.name = "IntegerForBoolean",
                 .python = "{'QuietMode': 1}",
                 .key = Keys::QuietMode,
                 .expected = true},
        ReadCase{.name = "StringForNumber",
                 .python = "{'KeyboardBrightness': '80'}",
                 .key = Keys::KeyboardBrightness,
                 .expected = 100.0,
                 .log = "KeyboardBrightness"},
        ReadCase{.name = "ShortZoneList",
                 .python = "{'HybridLayerZonesSetup': ['Layer Image', 'Current Language']}",
                 .key = Keys::HybridLayerZonesSetup,
                 .expected = kDefaultZones,
                 .log = "an array of 4 strings"},
        ReadCase{.name = "NumberInStringList",
                 .python = "{'CustomApplicationsBundlesList': ['gimp', 3]}",
                 .key = Keys::CustomApplicationsBundlesList,
                 .expected = QStringList(),
                 .log = "CustomApplicationsBundlesList"},
        ReadCase{.name = "StringForColour",
                 .python = "{'KeyboardSelectionColor': 'red'}",
                 .key = Keys::KeyboardSelectionColor,
                 .expected = Keys::registeredDefault(Keys::KeyboardSelectionColor),
                 .log = "KeyboardSelectionColor"},
        ReadCase{.name = "NotAPropertyList",
                 .raw = QByteArray("\x01\x02{not a plist", 15),
                 .key = Keys::KeyboardBrightness,
                 .expected = 100.0,
                 .log = "is not a property list",
                 .setAside = true},
        ReadCase{.name = "ArrayAtTop",
                 .python = "[1, 2]",
                 .key = Keys::WakeOnWhenMouseMoves,
                 .expected = false,
                 .log = "instead of a dictionary",
                 .setAside = true}),
    brevona::test::RowName());

// ---------------------------------------------------------------- writing

class PreferencesWriteTest : public ::testing::Test
{
protected:
    // What plistlib reads from the file, in the canonical text.
    QString onDisk() const { return PythonPlist::dump(path).value_or(PythonPlist::lastError()); }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("config/prefs.plist"));
};

TEST_F(PreferencesWriteTest, WritesOnlyWhatChangedAndKeepsWhatItDoesNotKnow)
{
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("config"))));
    ASSERT_TRUE(
        PythonPlist::write(path, "{'Foreign': {'a': [1, b'x']}, 'KeyboardBrightness': 'loud'}", true));
    PreferencesStore store(path);
    ASSERT_TRUE(store.setValue(Keys::QuietMode, true));

    QVariantMap expected{{QStringLiteral("Foreign"),
                          QVariantMap{{QStringLiteral("a"), QVariantList{qint64(1), QByteArray("x")}}}},
                         {Keys::KeyboardBrightness, QStringLiteral("loud")},
                         {Keys::QuietMode, true}};
    EXPECT_EQ(onDisk(), PythonPlist::canonical(expected));

    // A value is stored in its key's type: an integer brightness becomes a real.
    ASSERT_TRUE(store.setValue(Keys::KeyboardBrightness, 55));
    expected.insert(Keys::KeyboardBrightness, 55.0);
    EXPECT_EQ(onDisk(), PythonPlist::canonical(expected));

    ASSERT_TRUE(store.removeValue(QStringLiteral("Foreign")));
    expected.remove(QStringLiteral("Foreign"));
    EXPECT_EQ(onDisk(), PythonPlist::canonical(expected));
}

TEST_F(PreferencesWriteTest, ChangesOfAnotherWriterSurvive)
{
    PreferencesStore store(path);
    ASSERT_TRUE(store.setValue(Keys::WakeOnWhenMouseMoves, true));
    ASSERT_TRUE(
        PythonPlist::write(path, "{'WakeOnWhenMouseMoves': True, 'KeyboardSleepTimeout': 90}", false));
    ASSERT_TRUE(store.setValue(Keys::GeneralPaintLayersUsing, QStringLiteral("gimp")));

    EXPECT_EQ(onDisk(),
              PythonPlist::canonical(QVariantMap{{Keys::WakeOnWhenMouseMoves, true},
                                                 {Keys::KeyboardSleepTimeout, qint64(90)},
                                                 {Keys::GeneralPaintLayersUsing, QStringLiteral("gimp")}}));
    EXPECT_EQ(store.integerValue(Keys::KeyboardSleepTimeout), 90);
}

TEST_F(PreferencesWriteTest, RefusesValuesThatDoNotFit)
{
    PreferencesStore store(path);
    test::LogCapture log;
    EXPECT_FALSE(store.setValue(Keys::HybridLayerZonesSetup, QStringList{Keys::ZoneLayerImage}));
    EXPECT_FALSE(store.setValue(Keys::KeyboardBrightness, QStringLiteral("bright")));
    EXPECT_FALSE(store.setValue(QStringLiteral("Foreign"), QVariant::fromValue(QPoint(1, 2))));
    EXPECT_EQ(log.messages().size(), 3) << log.messages().join('\n').toStdString();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(store.value(Keys::HybridLayerZonesSetup), kDefaultZones);
}

TEST_F(PreferencesWriteTest, AnnouncesEveryRealChange)
{
    PreferencesStore store(path);
    QSignalSpy changes(&store, &PreferencesStore::valueChanged);

    ASSERT_TRUE(store.setValue(Keys::KeyboardBrightness, 50.0));
    ASSERT_TRUE(store.setValue(Keys::KeyboardBrightness, 50));
    // Storing the default changes nothing that a reader sees.
    ASSERT_TRUE(store.setValue(Keys::AutoAdjustKeyboardBrightness, true));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.takeFirst().value(0).toString(), Keys::KeyboardBrightness);

    ASSERT_TRUE(
        PythonPlist::write(path, "{'KeyboardBrightness': 50.0, 'KeyboardSleepTimeout': 120, 'X': 1}", false));
    store.reload();
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes.at(0).value(0).toString(), Keys::KeyboardSleepTimeout);
    EXPECT_EQ(changes.at(1).value(0).toString(), QStringLiteral("X"));
    changes.clear();

    ASSERT_TRUE(store.removeValue(Keys::KeyboardBrightness));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(store.realValue(Keys::KeyboardBrightness), 100.0);
}

TEST(PreferenceColourTest, DefaultSelectionColourIsAnArchiveOthersRead)
{
    const QByteArray archived = Keys::registeredDefault(Keys::KeyboardSelectionColor).toByteArray();
    EXPECT_EQ(Keys::Colour::fromArchive(archived), (Keys::Colour{0.1, 1.0, 1.0, 1.0}));
    EXPECT_EQ(Keys::Colour::fromArchive(Keys::Colour{0.5, 2.0, 1.0, 1.0}.archived()), std::nullopt);

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("colour.plist")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(archived);
    file.close();
    EXPECT_EQ(PythonPlist::unarchive(file.fileName()),
              PythonPlist::canonical(QVariantMap{{QStringLiteral("Hue"), 0.1},
                                                 {QStringLiteral("Saturation"), 1.0},
                                                 {QStringLiteral("Brightness"), 1.0},
                                                 {QStringLiteral("Alpha"), 1.0}}));
}

} // namespace
