#include <chrono>
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

using namespace brevona;

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

void PrintTo(const Value &c, std::ostream *os)
{
    *os << c.name;
}

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

    const KeyedArchive::Result back = KeyedArchive::unarchive(*archive);
    ASSERT_TRUE(back.value.has_value()) << back.error.toStdString();
    EXPECT_EQ(PythonPlist::canonical(*back.value), PythonPlist::canonical(value));

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

INSTANTIATE_TEST_SUITE_P(
    Values, KeyedArchiveRoundTrip,
    testing::Values(
        Value{"String", QStringLiteral("text")}, Value{"EmptyString", QString()},
        Value{"DollarNullText", QStringLiteral("$null")},
        Value{"NonAscii", QStringLiteral(u"\u00e9t\u00e9 \U0001F600")},
        Value{"NegativeInteger", QVariant::fromValue<qint64>(-2)},
        Value{"Int64Min", QVariant::fromValue(std::numeric_limits<qint64>::min())},
        Value{"UInt64Max", QVariant::fromValue(std::numeric_limits<quint64>::max())}, Value{"Real", 2.75},
        Value{"True", true}, Value{"False", false}, Value{"Data", QByteArray("\x00\x01\xff", 3)},
        Value{"Date", utc(2024, 2, 29, 13, 14, 15, 678)},
        Value{"DateBefore2001", utc(1969, 7, 20, 20, 17, 40, 5)}, Value{"FirstDate", utc(1, 1, 1)},
        Value{"LastDate", utc(9999, 12, 31, 23, 59, 59, 999)}, Value{"Null", nullMarker()},
        Value{"EmptyArray", QVariantList{}}, Value{"EmptyDictionary", QVariantMap{}},
        Value{"Array", QVariantList{"a", 1, 2.5, true, QByteArray("d"), utc(2001, 1, 1), nullMarker()}},
        Value{"StringList", QStringList{"x", "y"}},
        Value{"Dictionary", QVariantMap{{"Colors", QVariantList{1, 2, 3}},
                                        {"Font", QVariantMap{{"Name", "Sans"}, {"Size", 12.5}}},
                                        {"Missing", nullMarker()},
                                        {QStringLiteral(u"\u00fcber"), QVariantList{QVariantMap{}}}}},
        Value{"DeepNesting", nestedArrays(200)}),
    [](const auto &info) { return std::string(info.param.name); });

// Archives written by another tool, in the layout the platform's archiver produces.
struct Foreign
{
    const char *name;
    const char *python; // the archive as a Python literal for plistlib
    bool binary;
    QVariant expected;
};

void PrintTo(const Foreign &c, std::ostream *os)
{
    *os << c.name;
}

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

    const KeyedArchive::Result result = KeyedArchive::unarchive(file.readAll());
    ASSERT_TRUE(result.value.has_value()) << result.error.toStdString();
    EXPECT_EQ(PythonPlist::canonical(*result.value), PythonPlist::canonical(c.expected));
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

INSTANTIATE_TEST_SUITE_P(
    Layouts, ForeignArchive,
    testing::Values(
        Foreign{"InlineString",
                "{'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': UID(1)},"
                " '$objects': ['$null', 'plain']}",
                true, QStringLiteral("plain")},
        Foreign{"NilRoot",
                "{'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': UID(0)}, '$objects': "
                "['$null']}",
                true, nullMarker()},
        Foreign{"MutableCollections", kMutableCollections, true, kMutableCollectionsValue},
        // XML archives carry references as {"CF$UID": n}.
        Foreign{
            "XmlReferences",
            "{'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': {'CF$UID': 1}},"
            " '$objects': ['$null', {'NS.objects': [{'CF$UID': 2}, {'CF$UID': 2}], '$class': {'CF$UID': 3}},"
            " 'twice', {'$classname': 'NSArray', '$classes': ['NSArray', 'NSObject']}]}",
            false, QVariantList{"twice", "twice"}},
        // A class this reader does not know is read as its first known ancestor.
        Foreign{"SubclassOfKnownClass",
                "{'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': UID(1)},"
                " '$objects': ['$null', {'NS.objects': [UID(2)], '$class': UID(3)}, 3,"
                " {'$classname': 'KCColorList', '$classes': ['KCColorList', 'NSMutableArray', 'NSArray', "
                "'NSObject']}]}",
                true, QVariantList{3}},
        Foreign{"SetAsArray",
                "{'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': UID(1)},"
                " '$objects': ['$null', {'NS.objects': [UID(2)], '$class': UID(3)}, 'member',"
                " {'$classname': 'NSSet', '$classes': ['NSSet', 'NSObject']}]}",
                true, QVariantList{"member"}}),
    [](const auto &info) { return std::string(info.param.name); });

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

QVariantMap withKey(QVariantMap map, const QString &key, const QVariant &value)
{
    if (value.isValid())
        map.insert(key, value);
    else
        map.remove(key);
    return map;
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

const QVariantMap kSelfArray = archiveOf(
    {"$null", QVariantMap{{"NS.objects", QVariantList{uid(1)}}, {"$class", uid(2)}}, classRecord("NSArray")});

class MalformedArchive : public testing::TestWithParam<std::tuple<std::pair<const char *, QVariant>, bool>>
{
};

TEST_P(MalformedArchive, GivesAnErrorAndNoValue)
{
    const auto &[c, binary] = GetParam();
    const auto bytes =
        PropertyList::toData(c.second, binary ? PropertyList::Format::Binary : PropertyList::Format::Xml);
    ASSERT_TRUE(bytes.has_value());
    const auto started = std::chrono::steady_clock::now();
    const KeyedArchive::Result result = KeyedArchive::unarchive(*bytes);
    EXPECT_FALSE(result.value.has_value());
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_FALSE(result.error.contains('\n'));
    // Generous: only an endless loop or an exponential walk comes near it.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

const QVariantMap kValid = archiveOf({"$null", "text"});
const QVariantMap kNSDate = classRecord("NSDate");

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedArchive,
    testing::Combine(
        testing::Values(
            std::pair<const char *, QVariant>{"TopLevelArray", QVariantList{kValid}},
            std::pair<const char *, QVariant>{"OtherArchiver", withKey(kValid, "$archiver", "NSArchiver")},
            std::pair<const char *, QVariant>{"NoArchiver", withKey(kValid, "$archiver", {})},
            std::pair<const char *, QVariant>{"VersionNotNumber", withKey(kValid, "$version", "100000")},
            std::pair<const char *, QVariant>{"NoObjects", withKey(kValid, "$objects", {})},
            std::pair<const char *, QVariant>{"EmptyObjects", withKey(kValid, "$objects", QVariantList{})},
            std::pair<const char *, QVariant>{"ObjectsNotStartingWithNull", archiveOf({"text", "text"})},
            std::pair<const char *, QVariant>{"NoTop", withKey(kValid, "$top", {})},
            std::pair<const char *, QVariant>{"NoRoot",
                                              withKey(kValid, "$top", QVariantMap{{"object", uid(1)}})},
            std::pair<const char *, QVariant>{"RootNotReference", archiveOf({"$null", "text"}, 1)},
            std::pair<const char *, QVariant>{"NegativeReference", archiveOf({"$null", "text"}, uid(-1))},
            std::pair<const char *, QVariant>{"RootOutOfRange", archiveOf({"$null", "text"}, uid(2))},
            std::pair<const char *, QVariant>{"HugeReference",
                                              archiveOf({"$null"}, uid(std::numeric_limits<int>::max()))},
            std::pair<const char *, QVariant>{"SelfContainingArray", kSelfArray},
            std::pair<const char *, QVariant>{
                "CycleThroughDictionary",
                archiveOf({"$null",
                           QVariantMap{{"NS.keys", QVariantList{uid(3)}},
                                       {"NS.objects", QVariantList{uid(4)}},
                                       {"$class", uid(2)}},
                           classRecord("NSDictionary"), "key",
                           QVariantMap{{"NS.objects", QVariantList{uid(1)}}, {"$class", uid(5)}},
                           classRecord("NSArray")})},
            std::pair<const char *, QVariant>{
                "StringReferringToItself",
                archiveOf({"$null", QVariantMap{{"NS.string", uid(1)}, {"$class", uid(2)}},
                           classRecord("NSMutableString")})},
            std::pair<const char *, QVariant>{
                "StringRecordHoldingNumber",
                archiveOf({"$null", QVariantMap{{"NS.string", uid(3)}, {"$class", uid(2)}},
                           classRecord("NSString"), 5})},
            std::pair<const char *, QVariant>{
                "RecordWithoutClass", archiveOf({"$null", QVariantMap{{"NS.objects", QVariantList{}}}})},
            std::pair<const char *, QVariant>{"ClassIsNil",
                                              archiveOf({"$null", QVariantMap{{"$class", uid(0)}}})},
            std::pair<const char *, QVariant>{"ClassOutOfRange",
                                              archiveOf({"$null", QVariantMap{{"$class", uid(9)}}})},
            std::pair<const char *, QVariant>{
                "ClassRecordIsString", archiveOf({"$null", QVariantMap{{"$class", uid(2)}}, "NSArray"})},
            std::pair<const char *, QVariant>{
                "ClassWithoutName", archiveOf({"$null", QVariantMap{{"$class", uid(2)}},
                                               QVariantMap{{"$classes", QVariantList{"NSArray"}}}})},
            std::pair<const char *, QVariant>{
                "UnknownClass",
                archiveOf({"$null", QVariantMap{{"$class", uid(2)}}, classRecord("NSColor")})},
            std::pair<const char *, QVariant>{
                "ObjectsNotArray",
                archiveOf({"$null", QVariantMap{{"NS.objects", uid(0)}, {"$class", uid(2)}},
                           classRecord("NSArray")})},
            std::pair<const char *, QVariant>{
                "ElementNotReference",
                archiveOf({"$null", QVariantMap{{"NS.objects", QVariantList{"inline"}}, {"$class", uid(2)}},
                           classRecord("NSArray")})},
            std::pair<const char *, QVariant>{
                "KeysAndObjectsDiffer", archiveOf({"$null",
                                                   QVariantMap{{"NS.keys", QVariantList{uid(3), uid(3)}},
                                                               {"NS.objects", QVariantList{uid(3)}},
                                                               {"$class", uid(2)}},
                                                   classRecord("NSDictionary"), "k"})},
            std::pair<const char *, QVariant>{"NumberAsKey",
                                              archiveOf({"$null",
                                                         QVariantMap{{"NS.keys", QVariantList{uid(3)}},
                                                                     {"NS.objects", QVariantList{uid(3)}},
                                                                     {"$class", uid(2)}},
                                                         classRecord("NSDictionary"), 42})},
            std::pair<const char *, QVariant>{"DateWithoutTime",
                                              archiveOf({"$null", QVariantMap{{"$class", uid(2)}}, kNSDate})},
            std::pair<const char *, QVariant>{
                "DateWithTextTime",
                archiveOf({"$null", QVariantMap{{"NS.time", "now"}, {"$class", uid(2)}}, kNSDate})},
            std::pair<const char *, QVariant>{
                "DateAfterYear9999",
                archiveOf({"$null", QVariantMap{{"NS.time", 1e12}, {"$class", uid(2)}}, kNSDate})},
            std::pair<const char *, QVariant>{
                "DateWithNaNTime",
                archiveOf({"$null", QVariantMap{{"NS.time", std::nan("")}, {"$class", uid(2)}}, kNSDate})},
            std::pair<const char *, QVariant>{"BareArrayObject", archiveOf({"$null", QVariantList{uid(0)}})},
            std::pair<const char *, QVariant>{"TooDeep", chain(PlistNode::kMaxDepth + 10)},
            std::pair<const char *, QVariant>{"SharedObjectBlowUp", sharedBlowUp(60)}),
        testing::Bool()),
    [](const auto &info) {
        return std::string(std::get<0>(info.param).first) + (std::get<1>(info.param) ? "_Binary" : "_Xml");
    });

TEST(KeyedArchive, AcceptsModerateSharingAndNesting)
{
    const auto shared = PropertyList::toData(sharedBlowUp(12), PropertyList::Format::Binary);
    const KeyedArchive::Result sharedResult = KeyedArchive::unarchive(*shared);
    ASSERT_TRUE(sharedResult.value.has_value()) << sharedResult.error.toStdString();
    EXPECT_EQ(sharedResult.value->toList().size(), 2);

    const auto deep = PropertyList::toData(chain(PlistNode::kMaxDepth - 10), PropertyList::Format::Binary);
    EXPECT_TRUE(KeyedArchive::unarchive(*deep).value.has_value());
}

TEST(KeyedArchive, DataThatIsNoArchiveGivesAnError)
{
    const QByteArray archive = *KeyedArchive::archive(QVariantList{1, 2});
    const QByteArray inputs[] = {QByteArray(),
                                 QByteArray("\x89PNG\r\n\x1a\n", 8),
                                 QByteArray(64, '\0'),
                                 QByteArray("bplist00garbage"),
                                 QByteArray("<plist><string>x</string></plist>"),
                                 archive.left(archive.size() / 2)};
    for (const QByteArray &input : inputs) {
        const KeyedArchive::Result result = KeyedArchive::unarchive(input);
        EXPECT_FALSE(result.value.has_value());
        EXPECT_FALSE(result.error.isEmpty());
    }
}

TEST(KeyedArchive, RefusesValuesWithoutArchivedForm)
{
    EXPECT_FALSE(KeyedArchive::archive(QPoint(1, 2)).has_value());
    EXPECT_FALSE(KeyedArchive::archive(QVariantList{1, QVariant()}).has_value());
    EXPECT_FALSE(KeyedArchive::archive(QDateTime()).has_value());
    EXPECT_FALSE(KeyedArchive::archive(utc(9999, 12, 31).addYears(1)).has_value());
    EXPECT_TRUE(KeyedArchive::archive(utc(9999, 12, 31, 23, 59, 59, 999)).has_value());
    EXPECT_FALSE(KeyedArchive::archive(QString(QStringLiteral("a") + QChar(0))).has_value());
    EXPECT_FALSE(KeyedArchive::archive(nestedArrays(PlistNode::kMaxDepth + 2)).has_value());
}

} // namespace
