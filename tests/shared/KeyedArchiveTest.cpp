#include <limits>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QPoint>
#include <QTemporaryDir>
#include <QTimeZone>

#include "KeyedArchive.h"
#include "NullMarker.h"
#include "PlistNode.h"
#include "PropertyList.h"
#include "PythonPlist.h"
#include "TestPrinters.h"

using namespace brevona;
using test::RowName;

namespace {

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct Value
{
    const char *name;
    QVariant value;
};

class KeyedArchiveRoundTrip : public testing::TestWithParam<Value>
{
};

// What we archive decodes to the same value, both with our decoder and with an independent
// reader of the standard layout running on python's plistlib.
TEST_P(KeyedArchiveRoundTrip, DecodesToTheSameValueHereAndInPython)
{
    const QVariant &value = GetParam().value;
    const std::optional<QByteArray> archive = KeyedArchive::archive(value);
    ASSERT_TRUE(archive.has_value());
    EXPECT_TRUE(archive->startsWith("bplist00"));

    const Result<QVariant> back = KeyedArchive::unarchive(*archive);
    ASSERT_TRUE(back.has_value()) << back.error().toStdString();
    EXPECT_EQ(PythonPlist::canonical(*back), PythonPlist::canonical(value));

    QTemporaryDir dir;
    const QString path = dir.filePath("archive.bin");
    ASSERT_TRUE(writeBytes(path, *archive));
    const std::optional<QString> python = PythonPlist::unarchive(path);
    ASSERT_TRUE(python.has_value()) << PythonPlist::lastError().toStdString();
    EXPECT_EQ(*python, PythonPlist::canonical(value));
}

QVariant nestedArrays(int levels)
{
    QVariant value = 1;
    for (int i = 0; i < levels; ++i)
        value = QVariantList{value, QStringLiteral("level %1").arg(i)};
    return value;
}

// clang-format off
const Value kValues[] = {
    {"EmptyString", QString()},
    {"DollarNullText", QStringLiteral("$null")},
    {"NonAscii", QStringLiteral(u"\u00e9t\u00e9 \U0001F600")},
    {"Int64Min", std::numeric_limits<qint64>::min()},
    {"UInt64Max", std::numeric_limits<quint64>::max()},
    {"Real", 2.75},
    {"False", false},
    {"Data", QByteArray("\x00\x01\xff", 3)},
    {"DateBefore2001", utc(1969, 7, 20, 20, 17, 40, 5)},
    {"FirstDate", utc(1, 1, 1)},
    {"LastDate", utc(9999, 12, 31, 23, 59, 59, 999)},
    {"Null", nullMarker()},
    {"EmptyArray", QVariantList{}},
    {"EmptyDictionary", QVariantMap{}},
    {"Array", QVariantList{"a", 1, 2.5, true, QByteArray("d"), utc(2001, 1, 1), nullMarker()}},
    {"StringList", QStringList{"x", "y"}},
    {"Dictionary", QVariantMap{{"Colors", QVariantList{1, 2, 3}}, {"Font", QVariantMap{{"Name", "Sans"}, {"Size", 12.5}}}, {"Missing", nullMarker()}, {QStringLiteral(u"\u00fcber"), QVariantList{QVariantMap{}}}}},
    {"DeepNesting", nestedArrays(200)},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Values, KeyedArchiveRoundTrip, testing::ValuesIn(kValues), RowName());

// Archives written by another tool, in the layout the platform's archiver produces.
struct Foreign
{
    const char *name;
    const char *python; // the archive as a Python literal for plistlib
    bool binary;
    QVariant expected;
};

class ForeignArchive : public testing::TestWithParam<Foreign>
{
};

TEST_P(ForeignArchive, Decodes)
{
    const Foreign &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath("foreign.plist");
    ASSERT_TRUE(PythonPlist::write(path, QString::fromUtf8(c.python), c.binary))
        << PythonPlist::lastError().toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));

    const Result<QVariant> result = KeyedArchive::unarchive(file.readAll());
    ASSERT_TRUE(result.has_value()) << result.error().toStdString();
    EXPECT_EQ(PythonPlist::canonical(*result), PythonPlist::canonical(c.expected));
}

const char *const kMutableCollections = R"PY({
 '$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': UID(1)},
 '$objects': ['$null',
  {'NS.keys': [UID(2), UID(3), UID(4), UID(5), UID(6)],
   'NS.objects': [UID(7), UID(9), UID(11), UID(13), UID(15)], '$class': UID(17)},
  'name', 'blob', 'when', 'none', 'list',
  {'NS.string': 'Hello', '$class': UID(8)},
  {'$classname': 'NSMutableString', '$classes': ['NSMutableString', 'NSString', 'NSObject']},
  {'NS.data': b'\x01\x02', '$class': UID(10)},
  {'$classname': 'NSMutableData', '$classes': ['NSMutableData', 'NSData', 'NSObject']},
  {'NS.time': 600000000.25, '$class': UID(12)},
  {'$classname': 'NSDate', '$classes': ['NSDate', 'NSObject']},
  {'$class': UID(14)},
  {'$classname': 'NSNull', '$classes': ['NSNull', 'NSObject']},
  {'NS.objects': [UID(7), UID(2), UID(18), UID(19), UID(20)], '$class': UID(16)},
  {'$classname': 'NSMutableArray', '$classes': ['NSMutableArray', 'NSArray', 'NSObject']},
  {'$classname': 'NSMutableDictionary', '$classes': ['NSMutableDictionary', 'NSDictionary', 'NSObject']},
  -7, 1.5, True]})PY";

const QVariant kMutableCollectionsValue = QVariantMap{
    {"name", "Hello"},
    {"blob", QByteArray("\x01\x02")},
    {"when", QDateTime::fromMSecsSinceEpoch((978307200LL + 600000000LL) * 1000 + 250, QTimeZone::utc())},
    {"none", nullMarker()},
    {"list", QVariantList{"Hello", "name", -7, 1.5, true}}};

// The frame every archive below shares around its objects.
#define ARCHIVE(root, objects)                                                                               \
    "{'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': " root "}, '$objects': " objects  \
    "}"

// clang-format off
const Foreign kForeign[] = {
    {"InlineString", ARCHIVE("UID(1)", "['$null', 'plain']"), true, QStringLiteral("plain")},
    {"NilRoot", ARCHIVE("UID(0)", "['$null']"), true, nullMarker()},
    {"MutableCollections", kMutableCollections, true, kMutableCollectionsValue},
    // XML archives carry references as {"CF$UID": n}.
    {"XmlReferences", ARCHIVE("{'CF$UID': 1}", "['$null', {'NS.objects': [{'CF$UID': 2}, {'CF$UID': 2}], '$class': {'CF$UID': 3}}," " 'twice', {'$classname': 'NSArray', '$classes': ['NSArray', 'NSObject']}]"), false, QVariantList{"twice", "twice"}},
    // A class this reader does not know is read as its first known ancestor.
    {"SubclassOfKnownClass", ARCHIVE("UID(1)", "['$null', {'NS.objects': [UID(2)], '$class': UID(3)}, 3, {'$classname': 'KCColorList'," " '$classes': ['KCColorList', 'NSMutableArray', 'NSArray', 'NSObject']}]"), true, QVariantList{3}},
    {"SetAsArray", ARCHIVE("UID(1)", "['$null', {'NS.objects': [UID(2)], '$class': UID(3)}, 'member'," " {'$classname': 'NSSet', '$classes': ['NSSet', 'NSObject']}]"), true, QVariantList{"member"}},
};
// clang-format on

#undef ARCHIVE

INSTANTIATE_TEST_SUITE_P(Layouts, ForeignArchive, testing::ValuesIn(kForeign), RowName());

// Malformed archives are built as property lists whose references are {"CF$UID": n} dictionaries,
// the XML form of a reference, which the decoder reads in either format.
QVariant uid(int n)
{
    return QVariantMap{{"CF$UID", n}};
}

QVariantMap classRecord(const QString &name)
{
    return {{"$classname", name}, {"$classes", QVariantList{name, "NSObject"}}};
}

QVariantMap archiveOf(const QVariantList &objects, const QVariant &root = uid(1))
{
    return {{"$archiver", "NSKeyedArchiver"},
            {"$version", 100000},
            {"$top", QVariantMap{{"root", root}}},
            {"$objects", objects}};
}

// An archive whose root object is `object`, with the class record `className` at index 2.
QVariantMap rootObject(const QVariantMap &object, const QString &className, const QVariantList &more = {})
{
    return archiveOf(QVariantList{"$null", object, classRecord(className)} + more);
}

// Arrays each referring twice to the next one: 2^levels values once expanded.
QVariantMap sharedBlowUp(int levels)
{
    QVariantList objects{"$null"};
    for (int i = 1; i <= levels; ++i)
        objects << QVariantMap{{"NS.objects", QVariantList{uid(i + 1), uid(i + 1)}},
                               {"$class", uid(levels + 2)}};
    objects << "leaf" << classRecord("NSArray");
    return archiveOf(objects);
}

QVariantMap chain(int levels)
{
    QVariantList objects{"$null"};
    for (int i = 1; i <= levels; ++i)
        objects << QVariantMap{{"NS.objects", QVariantList{uid(i + 1)}}, {"$class", uid(levels + 2)}};
    objects << "leaf" << classRecord("NSArray");
    return archiveOf(objects);
}

// Archives that crashed, hung or exhausted the stack of a decoder that trusted them: references
// out of range, cycles, exponential sharing, nesting, dates beyond any calendar. The fuzz target
// fuzz_keyed_archive covers damaged archives in general.
struct MalformedArchive
{
    const char *name;
    QVariant archive;
};

class MalformedArchiveTest : public testing::TestWithParam<MalformedArchive>
{
};

TEST_P(MalformedArchiveTest, GivesAnErrorAndNoValue)
{
    const auto bytes = PropertyList::toData(GetParam().archive, PropertyList::Format::Binary);
    ASSERT_TRUE(bytes.has_value());
    const Result<QVariant> result = KeyedArchive::unarchive(*bytes);
    EXPECT_FALSE(result.has_value());
    EXPECT_FALSE(result.error().isEmpty());
    EXPECT_FALSE(result.error().contains('\n'));
}

// An object of the class whose record is at `record`, with one field.
QVariantMap object(const char *field, const QVariant &value, int record = 2)
{
    return {{field, value}, {"$class", uid(record)}};
}

const QVariantMap kDictionaryCycle = rootObject(
    {{"NS.keys", QVariantList{uid(3)}}, {"NS.objects", QVariantList{uid(4)}}, {"$class", uid(2)}},
    "NSDictionary", {"key", object("NS.objects", QVariantList{uid(1)}, 5), classRecord("NSArray")});
const QVariantMap kUnevenDictionary = rootObject(
    {{"NS.keys", QVariantList{uid(3), uid(3)}}, {"NS.objects", QVariantList{uid(3)}}, {"$class", uid(2)}},
    "NSDictionary", {"k"});

const MalformedArchive kMalformed[] = {
    {"NegativeReference", archiveOf({"$null", "text"}, uid(-1))},
    {"RootOutOfRange", archiveOf({"$null", "text"}, uid(2))},
    {"HugeReference", archiveOf({"$null"}, uid(std::numeric_limits<int>::max()))},
    {"ClassOutOfRange", archiveOf({"$null", QVariantMap{{"$class", uid(9)}}})},
    {"SelfContainingArray", rootObject(object("NS.objects", QVariantList{uid(1)}), "NSArray")},
    {"CycleThroughDictionary", kDictionaryCycle},
    {"StringReferringToItself", rootObject(object("NS.string", uid(1)), "NSMutableString")},
    {"KeysAndObjectsDiffer", kUnevenDictionary},
    {"DateAfterYear9999", rootObject(object("NS.time", 1e12), "NSDate")},
    {"DateWithNaNTime", rootObject(object("NS.time", std::nan("")), "NSDate")},
    {"TooDeep", chain(PlistNode::kMaxDepth + 10)},
    {"SharedObjectBlowUp", sharedBlowUp(60)},
};

INSTANTIATE_TEST_SUITE_P(Cases, MalformedArchiveTest, testing::ValuesIn(kMalformed), RowName());

TEST(KeyedArchive, AcceptsModerateSharingAndNesting)
{
    const auto shared = PropertyList::toData(sharedBlowUp(12), PropertyList::Format::Binary);
    const Result<QVariant> sharedResult = KeyedArchive::unarchive(*shared);
    ASSERT_TRUE(sharedResult.has_value()) << sharedResult.error().toStdString();
    EXPECT_EQ(sharedResult->toList().size(), 2);

    const auto deep = PropertyList::toData(chain(PlistNode::kMaxDepth - 10), PropertyList::Format::Binary);
    EXPECT_TRUE(KeyedArchive::unarchive(*deep).has_value());
}

TEST(KeyedArchive, RefusesValuesWithoutArchivedForm)
{
    EXPECT_FALSE(KeyedArchive::archive(QPoint(1, 2)).has_value());
    EXPECT_FALSE(KeyedArchive::archive(QVariantList{1, QVariant()}).has_value());
    EXPECT_FALSE(KeyedArchive::archive(QDateTime()).has_value());
    EXPECT_FALSE(KeyedArchive::archive(utc(9999, 12, 31).addYears(1)).has_value());
    EXPECT_FALSE(KeyedArchive::archive(QString(QStringLiteral("a") + QChar(0))).has_value());
    EXPECT_FALSE(KeyedArchive::archive(nestedArrays(PlistNode::kMaxDepth + 2)).has_value());
}

} // namespace
