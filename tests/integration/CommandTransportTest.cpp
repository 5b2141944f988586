// Commands as outside programs send them, over a real bus to the real driver: the configurator's link,
// brevona-send with a property list, gdbus with GVariant text and dbus-send's toggle signal. What each
// command does is proven on the layer tree; here, that it arrives with its values intact, and that what no
// property list can hold is turned away without harm.
#include <QDBusConnection>

#include <gtest/gtest.h>

#include "CommandNames.h"
#include "DriverLink.h"
#include "DriverSession.h"
#include "NotificationNames.h"
#include "TestPrinters.h"

using namespace brevona;
using namespace brevona::test;

namespace {

const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);
const QColor Blue(0, 0, 255);

enum class Client
{
    Link,
    BrevonaSend,
    Gdbus,
    DbusSend,
};

// Each row either hides the layer "Top" (key A then shows the blue of the layer under it) or, with `picture`,
// gives key A of "Top" a green picture as TIFF bytes.
struct DeliveryRow
{
    const char *name;
    Client client;
    bool picture = false;
};

const DeliveryRow kDeliveries[] = {
    {.name = "LinkCarriesAPicture", .client = Client::Link, .picture = true},
    {.name = "BrevonaSendCarriesAPicture", .client = Client::BrevonaSend, .picture = true},
    {.name = "GdbusCarriesAPicture", .client = Client::Gdbus, .picture = true},
    {.name = "DbusSendTogglesALayer", .client = Client::DbusSend},
};

// The GVariant text of a byte array, for gdbus.
QString gdbusBytes(const QByteArray &bytes)
{
    QStringList values;
    for (char byte : bytes)
        values.append(QString::number(static_cast<unsigned char>(byte)));
    return QStringLiteral("@ay [") + values.join(QStringLiteral(", ")) + QLatin1Char(']');
}

// Sends through the configurator's link and waits until the driver has taken the command.
bool post(DriverSession &session, const QString &command, const QVariantMap &info)
{
    DriverLink link(session.busAddress());
    const int before = session.commandCount(command);
    return link.setupDriverConnection() &&
           link.notifyDriverForCommand(command, info) == DriverLink::SendResult::Sent &&
           session.waitForCommand(command, before);
}

bool deliver(DriverSession &session, const DeliveryRow &row)
{
    // Scaled up from 8 x 8 to the key.
    const QByteArray tiff = StoreBuilder::tiff(Green, 8);
    const QString command = row.picture ? commands::ButtonsChanged : commands::LayerVisibilityChanged;
    const QVariantMap info =
        row.picture
            ? QVariantMap{{"LayerId", "Top"}, {"Buttons", QVariantMap{{"A", QVariantMap{{"Image", tiff}}}}}}
            : QVariantMap{{"LayerId", "Top"}, {"Enabled", false}};
    switch (row.client) {
    case Client::Link:
        return post(session, command, info);
    case Client::BrevonaSend:
        return session.send(command, info);
    case Client::Gdbus:
        return session.gdbus(command, row.picture
                                          ? QStringLiteral("{'LayerId': <'Top'>, 'Buttons': <{'A': "
                                                           "<{'Image': <%1>}>}>}")
                                                .arg(gdbusBytes(tiff))
                                          : QStringLiteral("{'LayerId': <'Top'>, 'Enabled': <false>}"));
    case Client::DbusSend:
        return session.signal(notifications::ToggleLayerAction, {QStringLiteral("string:Top")});
    }
    return false;
}

class CommandTransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        session.store().group(QString(), {"Top", "Under"});
        session.store().layer(QStringLiteral("Top"), {{"Buttons", StoreBuilder::buttons({"A"})}},
                              StoreBuilder::layerPicture({{"A", Red}}));
        session.store().layer(QStringLiteral("Under"), {{"Buttons", StoreBuilder::buttons({"A"})}},
                              StoreBuilder::layerPicture({{"A", Blue}}));
        ASSERT_TRUE(session.start()) << session.error().toStdString();
        ASSERT_TRUE(session.waitForColour("A", Red));
    }

    DriverSession session;
};

class CommandDeliveryTest : public CommandTransportTest, public ::testing::WithParamInterface<DeliveryRow>
{
};

TEST_P(CommandDeliveryTest, ArrivesWithItsValues)
{
    ASSERT_TRUE(deliver(session, GetParam())) << session.error().toStdString();
    EXPECT_TRUE(session.waitForColour("A", GetParam().picture ? Green : Blue)) << session.log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Clients, CommandDeliveryTest, ::testing::ValuesIn(kDeliveries), RowName());

TEST_F(CommandTransportTest, InfoNoPropertyListHoldsIsDroppedWithOneLine)
{
    // Only an outside client can send a structure; the configurator's link refuses it itself.
    ASSERT_TRUE(session.gdbus(QStringLiteral("Odd"), QStringLiteral("{'X': <(1, 2)>}")));
    EXPECT_TRUE(session.waitForLog(QStringLiteral("Command Odd dropped: its info holds a structure")));
    ASSERT_TRUE(session.gdbus(commands::LayerVisibilityChanged,
                              QStringLiteral("{'LayerId': <'Top'>, 'Enabled': <false>}")));
    EXPECT_TRUE(session.waitForColour("A", Blue));
}

TEST_F(CommandTransportTest, AHugeInfoArrivesWhole)
{
    QVariantList ids;
    for (int i = 0; i < 200000; ++i)
        ids.append(QStringLiteral("Ghost%1").arg(i));
    ids.append(QStringLiteral("Top"));
    ASSERT_TRUE(post(session, commands::ItemsDeleted, {{"ItemIds", ids}}));
    EXPECT_TRUE(session.waitForColour("A", Blue));
}

} // namespace
