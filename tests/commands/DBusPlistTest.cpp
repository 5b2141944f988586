// Property-list values through a real bus: every type round-trips, outside
// clients' equivalent forms are accepted, and what has no property-list form or
// nests too deeply is refused.

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDateTime>
#include <QPoint>

#include <gtest/gtest.h>

#include "DBusPlist.h"
#include "FakeDriver.h"
#include "NullMarker.h"
#include "SameValue.h"
#include "TestPrinters.h"

using namespace brevona;
using namespace brevona::test;

namespace {

struct Pair
{
    int first = 0;
    int second = 0;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Pair &pair)
{
    argument.beginStructure();
    argument << pair.first << pair.second;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Pair &pair)
{
    argument.beginStructure();
    argument >> pair.first >> pair.second;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Pair)

namespace {

// Sends an info (already in wire form) to a stand-in driver and returns what QtDBus handed it,
// still undecoded.
class Loopback
{
public:
    Loopback()
        : driver(QStringLiteral("plist-loopback"))
    {}

    std::optional<QVariantMap> roundTrip(const QVariantMap &wire, QString *error = nullptr)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(driver.bus().baseService(), QStringLiteral("/"),
                                                           QStringLiteral("com.kettlewood.Brevona.Server"),
                                                           QStringLiteral("notify"));
        call << QStringLiteral("Probe") << wire;
        const int before = int(driver.received().size());
        if (!QDBusConnection::sessionBus().send(call) || !driver.waitForCommands(before + 1))
            return std::nullopt;
        const QVariantMap received = driver.received().last().info;
        if (received.contains(QStringLiteral("<undecodable>"))) {
            if (error)
                *error = QStringLiteral("undecodable");
            return std::nullopt;
        }
        return received;
    }

    FakeDriver driver;
};

QVariant nested(int depth, const QVariant &leaf)
{
    QVariant value = leaf;
    for (int i = 0; i < depth; ++i)
        value = (i % 2) ? QVariant(QVariantMap{{"k", value}}) : QVariant(QVariantList{value});
    return value;
}

struct RoundTripCase
{
    const char *name;
    QVariant value;
};

class DBusPlistRoundTrip : public ::testing::TestWithParam<RoundTripCase>
{
};

TEST_P(DBusPlistRoundTrip, ValueArrivesUnchanged)
{
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
    Loopback loopback;
    const QVariantMap info{{"Value", GetParam().value}};
    QString error;
    const auto wire = DBusPlist::toDBus(info, &error);
    ASSERT_TRUE(wire) << error.toStdString();
    const auto received = loopback.roundTrip(*wire);
    ASSERT_TRUE(received);
    EXPECT_TRUE(sameValue(received->value("Value"), info["Value"]))
        << QDebug::toString(received->value("Value")).toStdString()
        << " != " << QDebug::toString(info["Value"]).toStdString();
}

// clang-format off
const RoundTripCase kRoundTrips[] = {
    {.name = "String", .value = QString::fromUtf8("Zürich \xe2\x9c\x93")},
    {.name = "EmptyString", .value = QString("")},
    {.name = "LargestInteger", .value = QVariant(std::numeric_limits<qint64>::max())},
    {.name = "UnsignedAboveInt64", .value = QVariant(quint64(18446744073709551615ull))},
    {.name = "Real", .value = QVariant(2.5)},
    {.name = "True", .value = QVariant(true)},
    {.name = "DataNotUtf8", .value = QVariant(QByteArray("\xff\xfe\x00\x80", 4))},
    {.name = "EmptyData", .value = QVariant(QByteArray())},
    {.name = "Date", .value = QVariant(QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC))},
    {.name = "NullMarker", .value = nullMarker()},
    {.name = "EmptyArray", .value = QVariant(QVariantList())},
    {.name = "EmptyDictionary", .value = QVariant(QVariantMap())},
    {.name = "Mixed", .value = QVariantList{qint64(1), QString("two"), QVariantMap{{"three", nullMarker()}}, QByteArray("4")}},
    {.name = "AsDeepAsTheBusCarries", .value = nested(20, QString("leaf"))},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(EveryType, DBusPlistRoundTrip, ::testing::ValuesIn(kRoundTrips), RowName());

TEST(DBusPlistTest, OutsideClientsTypedFormsAreAccepted)
{
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    qDBusRegisterMetaType<QList<int>>();
    qDBusRegisterMetaType<QMap<QString, QString>>();
    Loopback loopback;
    const QVariantMap wire{{"Strings", QVariant::fromValue(QStringList{"a", "b"})},
                           {"Ints", QVariant::fromValue(QList<int>{1, 2})},
                           {"Names", QVariant::fromValue(QMap<QString, QString>{{"k", "v"}})},
                           {"Byte", QVariant::fromValue(uchar(7))},
                           {"Short", QVariant::fromValue(short(-3))},
                           {"Unsigned", QVariant::fromValue(uint(9))}};
    const auto received = loopback.roundTrip(wire);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->value("Strings"), QVariant(QVariantList{"a", "b"}));
    EXPECT_EQ(received->value("Ints"), QVariant(QVariantList{qint64(1), qint64(2)}));
    EXPECT_EQ(received->value("Names"), QVariant(QVariantMap{{"k", "v"}}));
    EXPECT_EQ(received->value("Byte"), QVariant(qint64(7)));
    EXPECT_EQ(received->value("Short"), QVariant(qint64(-3)));
    EXPECT_EQ(received->value("Unsigned"), QVariant(qint64(9)));
}

TEST(DBusPlistTest, ValuesWithoutPropertyListFormAreRefused)
{
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    qDBusRegisterMetaType<Pair>();
    qDBusRegisterMetaType<QMap<int, QString>>();
    Loopback loopback;
    const QVariant refused[] = {QVariant::fromValue(QDBusObjectPath("/a")), QVariant::fromValue(Pair{1, 2}),
                                QVariant::fromValue(QMap<int, QString>{{1, "one"}})};
    for (const QVariant &value : refused) {
        SCOPED_TRACE(value.metaType().name());
        EXPECT_FALSE(loopback.roundTrip({{"Value", value}}));
        // Also when it hides in a container among valid values.
        EXPECT_FALSE(loopback.roundTrip({{"Value", QVariantList{QString("ok"), value, QString("ok")}}}));
    }
    // Whatever signature arrives is the null marker: shell clients send the empty one.
    const auto marker = loopback.roundTrip({{"Value", QVariant::fromValue(QDBusSignature("s"))}});
    ASSERT_TRUE(marker);
    EXPECT_TRUE(isNullMarker(marker->value("Value")));
    // The sending side refuses them before they travel.
    QString error;
    EXPECT_FALSE(DBusPlist::toDBus(QVariantMap{{"Where", QPoint(1, 2)}}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(DBusPlist::toDBus(QVariantMap{{"When", QDateTime()}}));
}

TEST(DBusPlistTest, NestingIsBoundedOnBothSides)
{
    // In the process (what the bus never delivers but a caller could hand over): 64 levels of
    // arrays and dictionaries are a property list, 65 are not.
    QString error;
    EXPECT_TRUE(DBusPlist::fromDBus(nested(DBusPlist::MaxDepth, 1)));
    EXPECT_FALSE(DBusPlist::fromDBus(nested(DBusPlist::MaxDepth + 1, 1), &error));
    EXPECT_TRUE(error.contains("nested deeper")) << error.toStdString();
    // An info value at the bus's limit is sent; one level more would cost the sender its connection.
    QVariant arrays = QString("x");
    for (int i = 0; i < 30; ++i)
        arrays = QVariantList{arrays};
    EXPECT_TRUE(DBusPlist::toDBus(QVariantMap{{"X", arrays}}));
    EXPECT_FALSE(DBusPlist::toDBus(QVariantMap{{"X", QVariantList{arrays}}}));
    // A deep chain of variants inside variants ends too.
    QVariant variants = QVariant(QString("x"));
    for (int i = 0; i < 1000; ++i)
        variants = QVariant::fromValue(QDBusVariant(variants));
    EXPECT_FALSE(DBusPlist::fromDBus(variants));
}

} // namespace
