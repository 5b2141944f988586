#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPoint>
#include <QTemporaryDir>
#include <QTimeZone>

#include "NullMarker.h"
#include "PlistNode.h"
#include "PropertyList.h"
#include "PythonPlist.h"
#include "TestPrinters.h"

using namespace brevona;
using Format = PropertyList::Format;
using test::RowName;

namespace {

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
}

QVariant nested(int levels)
{
    QVariant value = QStringLiteral("leaf");
    for (int i = 0; i < levels; ++i)
        value = QVariantList{value};
    return value;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray allBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

struct RoundTrip
{
    const char *name;
    QVariant value;
};

// XML keeps dates to the second, the earlier one as other writers do.
QVariant inXml(const QVariant &value)
{
    if (value.typeId() != QMetaType::QDateTime)
        return value;
    const qint64 ms = value.toDateTime().toMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(ms - ((ms % 1000) + 1000) % 1000, QTimeZone::utc());
}

class PropertyListRoundTrip : public testing::TestWithParam<std::tuple<RoundTrip, Format>>
{
protected:
    QTemporaryDir dir;
};

// Our writer and reader agree, and python's plistlib reads the same value from our file.
TEST_P(PropertyListRoundTrip, WritesWhatItAndPlistlibReadBack)
{
    const auto &[c, format] = GetParam();
    const QVariant expected = format == Format::Xml ? inXml(c.value) : c.value;
    const QString path = dir.filePath(QStringLiteral("value.plist"));
    ASSERT_TRUE(PropertyList::writeFile(path, c.value, format));

    const std::optional<QVariant> back = PropertyList::readFile(path);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(PythonPlist::canonical(*back), PythonPlist::canonical(expected));
    EXPECT_EQ(back->typeId(), expected.typeId());

    const std::optional<QString> python = PythonPlist::dump(path);
    ASSERT_TRUE(python.has_value()) << PythonPlist::lastError().toStdString();
    EXPECT_EQ(*python, PythonPlist::canonical(expected));
}

const QVariantMap kLayer{
    {"Buttons", QVariantMap{{"App0", QVariantMap{{"Signature", "a.b"}, {"Settings", QVariantMap{}}}}}},
    {"ItemOrder", QVariantList{"A", "B"}},
    {"Disabled", false}};

// clang-format off
const RoundTrip kRoundTrips[] = {
    {.name = "EmptyDictionary", .value = QVariantMap{}},
    {.name = "Nested", .value = kLayer},
    {.name = "EmptyString", .value = QString()},
    {.name = "XmlSpecials", .value = QStringLiteral("a & b < c > d \"e\" 'f' ]]> &amp;")},
    {.name = "NonAscii", .value = QStringLiteral(u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600")},
    {.name = "NonAsciiKey", .value = QVariantMap{{QStringLiteral(u"\u00e9t\u00e9"), 1}, {QStringLiteral("ete"), 2}}},
    {.name = "Int64Min", .value = std::numeric_limits<qint64>::min()},
    {.name = "UInt64Max", .value = std::numeric_limits<quint64>::max()},
    {.name = "Real", .value = 0.1},
    {.name = "Denormal", .value = 5e-324},
    {.name = "Infinity", .value = std::numeric_limits<double>::infinity()},
    {.name = "NaN", .value = std::nan("")},
    {.name = "True", .value = true},
    {.name = "AllBytes", .value = allBytes()},
    {.name = "LargeData", .value = QByteArray(200'000, 'x')},
    {.name = "BeforeEpochWithMillis", .value = utc(1969, 12, 31, 23, 59, 59, 250)},
    {.name = "JustBefore2001", .value = utc(2000, 12, 31, 23, 59, 59, 500)},
    {.name = "DateAfter2038", .value = utc(2100, 3, 1, 8, 0, 1)},
    {.name = "DateBefore1901", .value = utc(1800, 7, 4, 12)},
    {.name = "DeepestNesting", .value = nested(PlistNode::kMaxDepth)},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Values, PropertyListRoundTrip,
                         testing::Combine(testing::ValuesIn(kRoundTrips),
                                          testing::Values(Format::Xml, Format::Binary)),
                         [](const auto &info) {
                             return test::nameOf(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) == Format::Xml ? "_Xml" : "_Binary");
                         });

// Files written by plistlib read as plistlib reads them.
struct PythonFile
{
    const char *name;
    const char *expression;
};

class PlistlibFiles : public testing::TestWithParam<std::tuple<PythonFile, bool>>
{
protected:
    QTemporaryDir dir;
};

TEST_P(PlistlibFiles, ReadAsPlistlibReadsThem)
{
    const auto &[file, binary] = GetParam();
    const QString path = dir.filePath(QStringLiteral("python.plist"));
    ASSERT_TRUE(PythonPlist::write(path, QString::fromUtf8(file.expression), binary))
        << PythonPlist::lastError().toStdString();
    const std::optional<QString> python = PythonPlist::dump(path);
    ASSERT_TRUE(python.has_value());

    const std::optional<QVariant> ours = PropertyList::readFile(path);
    ASSERT_TRUE(ours.has_value());
    EXPECT_EQ(PythonPlist::canonical(*ours), *python);
}

// clang-format off
const PythonFile kPythonFiles[] = {
    {"Integers", "[0, -1, 255, 256, 65536, 2**32, -2**31 - 1, 2**63 - 1, -2**63, 2**63, 2**64 - 1]"},
    {"Reals", "[0.5, -0.1, 1e-310, 1.7976931348623157e308, inf, -inf, nan]"},
    {"Dates", "[datetime(2001, 1, 1), datetime(1990, 5, 1, 10), datetime(2100, 1, 1), datetime(1850, 2, 3)]"},
    {"DatesWithMillis", "[datetime(1990, 5, 1, 10, 0, 0, 123000), datetime(2000, 12, 31, 23, 59, 59, 999000)]"},
    {"Text", "{'s': 'caf\\u00e9 \\U0001F600 <&>', 'n': {'': [[], {}]}}"},
    {"Data", "{'d': b'\\x00\\xff' * 40, 'e': b''}"},
    // plistlib writes equal values once and refers to them from every place.
    {"SharedValues", "[['same text'] * 3, [{'k': 'v'}] * 4, ['x' * 300] * 2]"},
    // Past 255 objects, binary references take two bytes.
    {"Long", "list(range(1000))"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Python, PlistlibFiles,
                         testing::Combine(testing::ValuesIn(kPythonFiles), testing::Bool()),
                         [](const auto &info) {
                             return test::nameOf(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "_Binary" : "_Xml");
                         });

TEST(PropertyList, ArchiveReferencesReadInTheirXmlForm)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("uid.bin");
    ASSERT_TRUE(PythonPlist::write(path, "{'root': UID(7)}", true));
    const auto value = PropertyList::readDictionary(path);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->value("root"), QVariant(QVariantMap{{"CF$UID", qint64(7)}}));
}

// Integer and real types other than qint64 and double are written as integers and reals.
TEST(PropertyList, WritesEveryIntegerAndRealType)
{
    const QVariantList values{QVariant(int(-7)),
                              QVariant(uint(4000000000u)),
                              QVariant::fromValue<short>(-3),
                              QVariant::fromValue<quint16>(65535),
                              QVariant(1.5f),
                              QVariant::fromValue<qint8>(-8)};
    for (Format format : {Format::Xml, Format::Binary}) {
        const auto bytes = PropertyList::toData(values, format);
        ASSERT_TRUE(bytes.has_value());
        const auto back = PropertyList::fromData(*bytes);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(PythonPlist::canonical(*back), "[i-7,i4000000000,i-3,i65535,r3ff8000000000000,i-8]");
    }
}

TEST(PropertyList, NullMarkerEntriesAreLeftOut)
{
    EXPECT_TRUE(isNullMarker(nullMarker()));
    EXPECT_FALSE(isNullMarker(QVariant()));
    EXPECT_FALSE(isNullMarker(QString()));

    const QVariantMap value{{"keep", 1}, {"drop", nullMarker()}, {"list", QVariantList{nullMarker(), "x"}}};
    const auto bytes = PropertyList::toData(value, Format::Binary);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(PropertyList::fromData(*bytes),
              QVariant(QVariantMap{{"keep", qint64(1)}, {"list", QVariantList{"x"}}}));
    EXPECT_FALSE(PropertyList::toData(nullMarker()).has_value());
    EXPECT_TRUE(PropertyList::isPropertyList(value));
}

// Values that would come back altered have no property-list form; binary keeps control characters.
struct NoForm
{
    const char *name;
    QVariant value;
    bool binaryWritable = false;
};

class NoPropertyListForm : public testing::TestWithParam<NoForm>
{
};

TEST_P(NoPropertyListForm, IsRefusedInsteadOfWrittenAltered)
{
    const NoForm &c = GetParam();
    EXPECT_FALSE(PropertyList::toData(c.value, Format::Xml).has_value());
    const auto binary = PropertyList::toData(c.value, Format::Binary);
    ASSERT_EQ(binary.has_value(), c.binaryWritable);
    if (binary) {
        EXPECT_EQ(PropertyList::fromData(*binary), c.value);
    }
}

const NoForm kNoForms[] = {
    {.name = "Invalid", .value = QVariant()},
    {.name = "PointInList", .value = QVariantList{1, QPoint(1, 2)}},
    {.name = "InvalidDate", .value = QDateTime()},
    {.name = "NulInString", .value = QString(QStringLiteral("a") + QChar(0) + "b")},
    {.name = "UnpairedSurrogate", .value = QString(QChar(0xD800))},
    {.name = "ControlCharacter", .value = QStringLiteral("bell\x07"), .binaryWritable = true},
    {.name = "ControlCharacterInKey", .value = QVariantMap{{"k\x01", true}}, .binaryWritable = true},
    {.name = "TooDeep", .value = nested(PlistNode::kMaxDepth + 1)},
};

INSTANTIATE_TEST_SUITE_P(Values, NoPropertyListForm, testing::ValuesIn(kNoForms), RowName());

TEST(PropertyList, IsPropertyListFollowsTheValueTypes)
{
    EXPECT_TRUE(
        PropertyList::isPropertyList(QVariantMap{{"a", QVariantList{1, 2.5, "s", QByteArray("d"), true}}}));
    EXPECT_TRUE(PropertyList::isPropertyList(utc(2020, 1, 1)));
    EXPECT_FALSE(PropertyList::isPropertyList(QVariantMap{{"a", QVariantList{QPoint()}}}));
    EXPECT_FALSE(PropertyList::isPropertyList(QVariant()));
}

// Binary property lists put together by hand, for input no writer produces.
QByteArray binaryPlist(const QList<QByteArray> &objects, int top = 0)
{
    QByteArray out("bplist00");
    QList<int> offsets;
    for (const QByteArray &object : objects) {
        offsets << out.size();
        out += object;
    }
    const int table = out.size();
    for (int offset : offsets)
        out.append(char(offset >> 24))
            .append(char(offset >> 16))
            .append(char(offset >> 8))
            .append(char(offset));
    QByteArray trailer(32, '\0');
    trailer[6] = 4; // offset size
    trailer[7] = 4; // reference size
    auto put = [&trailer](int at, quint64 v) {
        for (int i = 7; i >= 0; --i, v >>= 8)
            trailer[at + i] = char(v & 0xFF);
    };
    put(8, quint64(objects.size()));
    put(16, quint64(top));
    put(24, quint64(table));
    return out + trailer;
}

QByteArray ref(int index)
{
    return QByteArray(1, char(index >> 24)) + char(index >> 16) + char(index >> 8) + char(index);
}

QByteArray array(int count, const QByteArray &references)
{
    return QByteArray(1, char(0xA0 | count)) + references;
}

// Arrays of two references each to the next array: 2^levels values once expanded.
QByteArray sharedBlowUp(int levels)
{
    QList<QByteArray> objects;
    for (int i = 0; i < levels; ++i)
        objects << array(2, ref(i + 1) + ref(i + 1));
    return binaryPlist(objects << QByteArray("\x10\x05", 2));
}

QByteArray binaryChain(int levels)
{
    QList<QByteArray> objects;
    for (int i = 0; i < levels; ++i)
        objects << array(1, ref(i + 1));
    return binaryPlist(objects << QByteArray("\x10\x05", 2));
}

QByteArray xmlChain(int levels)
{
    return "<plist version=\"1.0\">" + QByteArray("<array>").repeated(levels) + "<true/>" +
           QByteArray("</array>").repeated(levels) + "</plist>";
}

// A dictionary of one entry whose key is the given object.
QByteArray dictionaryWithKey(const QByteArray &key)
{
    return binaryPlist({QByteArray("\xD1\x00\x00\x00\x01\x00\x00\x00\x02", 9), key, QByteArray("\x09", 1)});
}

// A binary date object holding the given IEEE-754 bits.
QByteArray binaryDate(quint64 bits)
{
    QByteArray object(1, char(0x33));
    for (int shift = 56; shift >= 0; shift -= 8)
        object.append(char((bits >> shift) & 0xFF));
    return binaryPlist({object});
}

// Input that crashed, hung, exhausted the stack or read as a value in the reader (libplist
// underneath) before it was checked; the fuzz target fuzz_property_list and its seeds cover
// damaged input in general.
struct Malformed
{
    const char *name;
    QByteArray bytes;
};

class MalformedInput : public testing::TestWithParam<Malformed>
{
};

TEST_P(MalformedInput, GivesNoValue)
{
    EXPECT_FALSE(PropertyList::fromData(GetParam().bytes).has_value());
}

const Malformed kMalformed[] = {
    // libplist reads the first document and ignores what follows.
    {"TrailingDocument", "<plist><true/></plist><plist><false/></plist>"},
    {"ReferenceOutOfRange", binaryPlist({array(1, ref(9))})},
    {"SelfContainingArray", binaryPlist({array(1, ref(0))})},
    {"Cycle", binaryPlist({array(1, ref(1)), array(1, ref(0))})},
    {"CountBeyondBuffer", binaryPlist({QByteArray("\xAF\x13\x7f\xff\xff\xff\xff\xff\xff\xff", 10)})},
    {"SharedObjectBlowUp", sharedBlowUp(40)},
    {"DeepBinary", binaryChain(100'000)},
    {"DeepXml", xmlChain(100'000)},
    // libplist aborts the process on a dictionary key that holds a NUL character or is no string.
    {"NulInBinaryKey", dictionaryWithKey(QByteArray("\x53k\x00y", 4))},
    {"NulInUtf16Key", dictionaryWithKey(QByteArray("\x62\x00k\x00\x00", 5))},
    {"NumberAsKey", dictionaryWithKey(QByteArray("\x10\x07", 2))},
    {"NulReferenceInXmlKey", "<plist><dict><key>k&#0;y</key><true/></dict></plist>"},
    {"NaNDate", binaryDate(0x7FF8000000000000ull)},
    {"DateBeyondYear9999", binaryDate(0x4341C37937E08000ull)}, // 1e16 seconds
};

INSTANTIATE_TEST_SUITE_P(Inputs, MalformedInput, testing::ValuesIn(kMalformed), RowName());

// The limits sit exactly where the writer's are, so that whatever is written reads back.
TEST(PropertyList, ReadsUpToTheLimitsAndNoFurther)
{
    EXPECT_EQ(PropertyList::fromData(dictionaryWithKey("\x53key")), QVariant(QVariantMap{{"key", true}}));
    EXPECT_TRUE(PropertyList::fromData(binaryChain(PlistNode::kMaxDepth)).has_value());
    EXPECT_FALSE(PropertyList::fromData(binaryChain(PlistNode::kMaxDepth + 1)).has_value());
    EXPECT_TRUE(PropertyList::fromData(xmlChain(PlistNode::kMaxDepth)).has_value());
    EXPECT_FALSE(PropertyList::fromData(xmlChain(PlistNode::kMaxDepth + 1)).has_value());
    const auto shared = PropertyList::fromData(sharedBlowUp(10));
    ASSERT_TRUE(shared.has_value());
    EXPECT_EQ(shared->toList().size(), 2);
}

class PropertyListFiles : public testing::Test
{
protected:
    QTemporaryDir dir;
};

TEST_F(PropertyListFiles, WritingCreatesFoldersAndLeavesNoTemporaryFile)
{
    const QString path = dir.filePath(QStringLiteral("a/b/c/Layer.plist"));
    ASSERT_TRUE(PropertyList::writeFile(path, QVariantMap{{"DisplayName", "x"}}));
    ASSERT_TRUE(PropertyList::writeFile(path, QVariantMap{{"DisplayName", "y"}}));
    EXPECT_EQ(PropertyList::readDictionary(path)->value("DisplayName"), "y");
    EXPECT_EQ(QDir(dir.filePath("a/b/c")).entryList(QDir::Files | QDir::Hidden), QStringList{"Layer.plist"});
    EXPECT_TRUE(readBytes(path).startsWith("<?xml"));
}

TEST_F(PropertyListFiles, FailedWriteLeavesTheOldFileUntouched)
{
    const QString path = dir.filePath(QStringLiteral("Group.plist"));
    ASSERT_TRUE(PropertyList::writeFile(path, QVariantMap{{"ItemOrder", QVariantList{"A"}}}));
    const QByteArray before = readBytes(path);

    EXPECT_FALSE(PropertyList::writeFile(path, QVariantMap{{"Bad", QPoint(1, 1)}}));
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Group.plist"});

    // A folder that cannot be created: its place is taken by a file.
    EXPECT_FALSE(PropertyList::writeFile(dir.filePath("Group.plist/inner.plist"), QVariantMap{}));
    EXPECT_EQ(readBytes(path), before);
}

TEST_F(PropertyListFiles, UnreadableFilesGiveNoValue)
{
    EXPECT_FALSE(PropertyList::readFile(dir.filePath("missing.plist")).has_value());

    const QString array = dir.filePath("array.plist");
    ASSERT_TRUE(PropertyList::writeFile(array, QVariantList{1}));
    EXPECT_FALSE(PropertyList::readDictionary(array).has_value());
}

} // namespace
