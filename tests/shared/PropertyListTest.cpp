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

using namespace brevona;
using Format = PropertyList::Format;

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

struct RoundTrip
{
    const char *name;
    QVariant value;
    QVariant xmlValue = {}; // what XML keeps when it differs (dates have whole seconds there)
};

void PrintTo(const RoundTrip &c, std::ostream *os)
{
    *os << c.name;
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
    const QVariant expected = format == Format::Xml && c.xmlValue.isValid() ? c.xmlValue : c.value;
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

const RoundTrip kRoundTrips[] = {
    {"EmptyDictionary", QVariantMap{}},
    {"EmptyArray", QVariantList{}},
    {"Nested", QVariantMap{{"Buttons", QVariantMap{{"App0", QVariantMap{{"Signature", "a.b"},
                                                                        {"Settings", QVariantMap{}}}}}},
                           {"ItemOrder", QVariantList{"A", "B"}},
                           {"Disabled", false}}},
    {"AsciiString", QStringLiteral("Layer name")},
    {"EmptyString", QString()},
    {"WhitespaceOnly", QStringLiteral("  \t\n ")},
    {"XmlSpecials", QStringLiteral("a & b < c > d \"e\" 'f' ]]> &amp;")},
    {"NonAscii", QStringLiteral(u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600")},
    {"NonAsciiKey", QVariantMap{{QStringLiteral(u"\u00e9t\u00e9"), 1}, {QStringLiteral("ete"), 2}}},
    {"Zero", QVariant::fromValue<qint64>(0)},
    {"MinusTwo", QVariant::fromValue<qint64>(-2)},
    {"Int64Min", QVariant::fromValue(std::numeric_limits<qint64>::min())},
    {"Int64Max", QVariant::fromValue(std::numeric_limits<qint64>::max())},
    {"Above32Bits", QVariant::fromValue<qint64>(5'000'000'000)},
    {"TwoToThe63", QVariant::fromValue<quint64>(quint64(1) << 63)},
    {"UInt64Max", QVariant::fromValue(std::numeric_limits<quint64>::max())},
    {"Real", 0.1},
    {"NegativeReal", -1234.5},
    {"WholeReal", 3.0},
    {"HugeReal", 1e300},
    {"Denormal", 5e-324},
    {"Infinity", std::numeric_limits<double>::infinity()},
    {"MinusInfinity", -std::numeric_limits<double>::infinity()},
    {"NaN", std::nan("")},
    {"True", true},
    {"False", false},
    {"EmptyData", QByteArray()},
    {"AllBytes",
     [] {
         QByteArray b;
         for (int i = 0; i < 256; ++i)
             b.append(char(i));
         return b;
     }()},
    {"LargeData", QByteArray(200'000, 'x')},
    {"ReferenceDate", utc(2001, 1, 1)},
    {"DateWithMillis", utc(2020, 6, 15, 12, 34, 56, 789), utc(2020, 6, 15, 12, 34, 56)},
    {"DateBefore2001WithMillis", utc(1969, 12, 31, 23, 59, 59, 250), utc(1969, 12, 31, 23, 59, 59)},
    {"JustBefore2001", utc(2000, 12, 31, 23, 59, 59, 500), utc(2000, 12, 31, 23, 59, 59)},
    {"JustAfter2001", utc(2001, 1, 1, 0, 0, 0, 500), utc(2001, 1, 1)},
    {"DateAfter2038", utc(2100, 3, 1, 8, 0, 1)},
    {"DateBefore1901", utc(1800, 7, 4, 12)},
    {"DeepestNesting", nested(PlistNode::kMaxDepth)},
};

INSTANTIATE_TEST_SUITE_P(Values, PropertyListRoundTrip,
                         testing::Combine(testing::ValuesIn(kRoundTrips),
                                          testing::Values(Format::Xml, Format::Binary)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == Format::Xml ? "_Xml" : "_Binary");
                         });

// Files written by plistlib read as plistlib reads them.
class PlistlibFiles : public testing::TestWithParam<std::tuple<const char *, bool>>
{
protected:
    QTemporaryDir dir;
};

TEST_P(PlistlibFiles, ReadAsPlistlibReadsThem)
{
    const auto &[expression, binary] = GetParam();
    const QString path = dir.filePath(QStringLiteral("python.plist"));
    ASSERT_TRUE(PythonPlist::write(path, QString::fromUtf8(expression), binary))
        << PythonPlist::lastError().toStdString();
    const std::optional<QString> python = PythonPlist::dump(path);
    ASSERT_TRUE(python.has_value());

    const std::optional<QVariant> ours = PropertyList::readFile(path);
    ASSERT_TRUE(ours.has_value());
    EXPECT_EQ(PythonPlist::canonical(*ours), *python);
}

const char *const kPythonValues[] = {
    "{'DisplayName': 'root', 'ItemOrder': [], 'Disabled': False, 'Expanded': True}",
    "[0, 1, -1, -2, 255, 256, 65535, 65536, 2**31, 2**32, -2**31 - 1, 2**63 - 1, -2**63, 2**63, 2**64 - 1]",
    "[0.5, -0.1, 1e-310, 1.7976931348623157e308, inf, -inf, nan]",
    "[datetime(2001, 1, 1), datetime(1990, 5, 1, 10), datetime(2100, 1, 1), datetime(1850, 2, 3, 4, 5, 6)]",
    "[datetime(1990, 5, 1, 10, 0, 0, 123000), datetime(2000, 12, 31, 23, 59, 59, 999000),"
    " datetime(2001, 1, 1, 0, 0, 0, 1000), datetime(2024, 2, 29, 23, 59, 59, 999000)]",
    "{'s': 'caf\\u00e9 \\U0001F600 <&>', 'd': b'\\x00\\xff' * 40, 'e': b'', 'n': {'': [[], {}]}}",
    // plistlib writes equal values once and refers to them from every place.
    "[['same text'] * 3, [{'k': 'v'}] * 4, ['x' * 300] * 2]",
    "[[[[[[[[[[[[['deep']]]]]]]]]]]]]",
    "list(range(1000))",
};

INSTANTIATE_TEST_SUITE_P(Python, PlistlibFiles,
                         testing::Combine(testing::ValuesIn(kPythonValues), testing::Bool()));

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
    EXPECT_EQ(nullMarker(), nullMarker());
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

struct NoForm
{
    const char *name;
    QVariant value;
    bool binaryWritable;
};

class NoPropertyListForm : public testing::TestWithParam<NoForm>
{
};

TEST_P(NoPropertyListForm, IsRefusedInsteadOfWrittenAltered)
{
    const NoForm &c = GetParam();
    EXPECT_FALSE(PropertyList::toData(c.value, Format::Xml).has_value());
    const auto binary = PropertyList::toData(c.value, Format::Binary);
    EXPECT_EQ(binary.has_value(), c.binaryWritable);
    if (binary) {
        EXPECT_EQ(PropertyList::fromData(*binary), c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, NoPropertyListForm,
    testing::Values(NoForm{"Invalid", QVariant(), false}, NoForm{"Point", QPoint(1, 2), false},
                    NoForm{"PointInList", QVariantList{1, QPoint(1, 2)}, false},
                    NoForm{"InvalidDate", QDateTime(), false},
                    NoForm{"NulInString", QString(QStringLiteral("a") + QChar(0) + "b"), false},
                    NoForm{"UnpairedSurrogate", QString(QChar(0xD800)), false},
                    NoForm{"ControlCharacter", QStringLiteral("bell\x07"), true},
                    NoForm{"ControlCharacterInKey", QVariantMap{{QStringLiteral("k\x01"), true}}, true},
                    NoForm{"TooDeep", nested(PlistNode::kMaxDepth + 1), false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PropertyList, IsPropertyListFollowsTheValueTypes)
{
    EXPECT_TRUE(
        PropertyList::isPropertyList(QVariantMap{{"a", QVariantList{1, 2.5, "s", QByteArray("d"), true}}}));
    EXPECT_TRUE(PropertyList::isPropertyList(utc(2020, 1, 1)));
    EXPECT_FALSE(PropertyList::isPropertyList(QVariantMap{{"a", QVariantList{QPoint()}}}));
    EXPECT_FALSE(PropertyList::isPropertyList(QVariant()));
}

// Damaged and hostile input gives "no value": never a crash, a hang or an exhausted stack.
class MalformedInput : public testing::TestWithParam<std::pair<const char *, QByteArray>>
{
};

TEST_P(MalformedInput, GivesNoValue)
{
    EXPECT_FALSE(PropertyList::fromData(GetParam().second).has_value());
}

QByteArray binaryPlist(const QList<QByteArray> &objects, int top = 0)
{
    QByteArray out("bplist00");
    QList<int> offsets;
    for (const QByteArray &object : objects) {
        offsets << out.size();
        out += object;
    }
    const int table = out.size();
    for (int offset : offsets) {
        out.append(char(offset >> 24))
            .append(char(offset >> 16))
            .append(char(offset >> 8))
            .append(char(offset));
    }
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

// Arrays of two references each to the next array: 2^levels values once expanded.
QByteArray sharedBlowUp(int levels)
{
    QList<QByteArray> objects;
    for (int i = 0; i < levels; ++i)
        objects << QByteArray(1, char(0xA2)) + ref(i + 1) + ref(i + 1);
    objects << QByteArray("\x10\x05", 2);
    return binaryPlist(objects);
}

QByteArray binaryChain(int levels)
{
    QList<QByteArray> objects;
    for (int i = 0; i < levels; ++i)
        objects << QByteArray(1, char(0xA1)) + ref(i + 1);
    objects << QByteArray("\x10\x05", 2);
    return binaryPlist(objects);
}

QByteArray xmlChain(int levels)
{
    return "<plist version=\"1.0\">" + QByteArray("<array>").repeated(levels) + "<true/>" +
           QByteArray("</array>").repeated(levels) + "</plist>";
}

// A binary date object holding the given IEEE-754 bits.
QByteArray binaryDate(quint64 bits)
{
    QByteArray object(1, char(0x33));
    for (int shift = 56; shift >= 0; shift -= 8)
        object.append(char((bits >> shift) & 0xFF));
    return binaryPlist({object});
}

QByteArray validBinary()
{
    return *PropertyList::toData(QVariantMap{{"k", QVariantList{"v", 1, 2.5}}}, Format::Binary);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MalformedInput,
    testing::Values(
        std::pair{"Empty", QByteArray()}, std::pair{"Text", QByteArray("not a property list")},
        std::pair{"TruncatedXml", QByteArray("<plist version=\"1.0\"><dict><key>a</key><string>b")},
        std::pair{"MismatchedTags", QByteArray("<plist><array><string>x</array></string></plist>")},
        std::pair{"TrailingGarbage", QByteArray("<plist><true/></plist><plist><false/></plist>")},
        std::pair{"HeaderOnly", QByteArray("bplist00")},
        std::pair{"TruncatedBinary", validBinary().chopped(5)},
        std::pair{"BinaryWithoutTrailer", validBinary().left(20)},
        std::pair{"ReferenceOutOfRange", binaryPlist({QByteArray(1, char(0xA1)) + ref(9)})},
        std::pair{"SelfContainingArray", binaryPlist({QByteArray(1, char(0xA1)) + ref(0)})},
        std::pair{"Cycle",
                  binaryPlist({QByteArray(1, char(0xA1)) + ref(1), QByteArray(1, char(0xA1)) + ref(0)})},
        std::pair{"CountBeyondBuffer",
                  binaryPlist({QByteArray("\xAF\x13\x7f\xff\xff\xff\xff\xff\xff\xff", 10)})},
        std::pair{"TopOutOfRange", binaryPlist({QByteArray("\x10\x05", 2)}, 3)},
        std::pair{"SharedObjectBlowUp", sharedBlowUp(40)}, std::pair{"DeepBinary", binaryChain(100'000)},
        std::pair{"JustTooDeepBinary", binaryChain(PlistNode::kMaxDepth + 1)},
        // libplist aborts the process on a dictionary key holding a NUL character.
        std::pair{"NulInBinaryKey", binaryPlist({QByteArray("\xD1\x00\x00\x00\x01\x00\x00\x00\x02", 9),
                                                 QByteArray("\x53k\x00y", 4), QByteArray("\x09", 1)})},
        std::pair{"NulInUtf16Key", binaryPlist({QByteArray("\xD1\x00\x00\x00\x01\x00\x00\x00\x02", 9),
                                                QByteArray("\x62\x00k\x00\x00", 5), QByteArray("\x09", 1)})},
        std::pair{"NumberAsKey", binaryPlist({QByteArray("\xD1\x00\x00\x00\x01\x00\x00\x00\x02", 9),
                                              QByteArray("\x10\x07", 2), QByteArray("\x09", 1)})},
        std::pair{"NulReferenceInXmlKey", QByteArray("<plist><dict><key>k&#0;y</key><true/></dict></plist>")},
        std::pair{"NaNDate", binaryDate(0x7FF8000000000000ull)},
        std::pair{"DateBeyondYear9999", binaryDate(0x4341C37937E08000ull)}, // 1e16 seconds
        std::pair{"DeepXml", xmlChain(100'000)},
        std::pair{"JustTooDeepXml", xmlChain(PlistNode::kMaxDepth + 1)}),
    [](const auto &info) { return std::string(info.param.first); });

TEST(PropertyList, AcceptsTheDeepestAllowedNestingAndModerateSharing)
{
    const auto dictionary =
        PropertyList::fromData(binaryPlist({QByteArray("\xD1\x00\x00\x00\x01\x00\x00\x00\x02", 9),
                                            QByteArray("\x53key", 4), QByteArray("\x09", 1)}));
    EXPECT_EQ(dictionary, QVariant(QVariantMap{{"key", true}}));
    EXPECT_TRUE(PropertyList::fromData(binaryChain(PlistNode::kMaxDepth)).has_value());
    EXPECT_TRUE(PropertyList::fromData(xmlChain(PlistNode::kMaxDepth)).has_value());
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
    EXPECT_FALSE(PropertyList::readFile(dir.path()).has_value());

    const QString array = dir.filePath("array.plist");
    ASSERT_TRUE(PropertyList::writeFile(array, QVariantList{1}));
    EXPECT_TRUE(PropertyList::readFile(array).has_value());
    EXPECT_FALSE(PropertyList::readDictionary(array).has_value());

    const QString corrupt = dir.filePath("corrupt.plist");
    QFile file(corrupt);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(validBinary().left(validBinary().size() / 2));
    file.close();
    EXPECT_FALSE(PropertyList::readDictionary(corrupt).has_value());
}

} // namespace
