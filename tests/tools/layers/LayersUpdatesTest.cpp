#include <QTextStream>

#include <gtest/gtest.h>

#include "DriverCommandSink.h"
#include "LayersCommandLine.h"
#include "LoopbackHttpServer.h"
#include "TestHome.h"
#include "TestPrinters.h"

using namespace brevona;
using Response = test::LoopbackHttpServer::Response;

namespace {

class NoDriver : public DriverCommandSink
{
public:
    void sendCommand(const QString &, const QVariantMap &) override {}
};

QByteArray versionList(const QByteArray &version)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>Configurator</key>"
           "<dict><key>Version</key><string>" +
           version + "</string><key>Filename</key><string>brevona.tgz</string></dict></dict></plist>";
}

struct UpdatesRow
{
    const char *name;
    Response list;
    QStringList arguments;
    int status;
    const char *out;   // standard output, exactly
    const char *error; // what the one line on standard error says after "brevona-layers: "
};

class LayersUpdatesCheck : public testing::TestWithParam<UpdatesRow>
{
};

TEST_P(LayersUpdatesCheck, PrintsTheVerdictOrOneLine)
{
    const UpdatesRow &row = GetParam();
    test::TestHome home;
    test::LoopbackHttpServer server;
    server.setResponse(QStringLiteral("versions.xml"), row.list);
    home.setEnvironment("BREVONA_UPDATE_URL", server.url().toString());
    NoDriver driver;
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int status =
        LayersCommandLine(outStream, errStream, home.dataHome() + QStringLiteral("/Layers"), &driver)
            .run(row.arguments);
    EXPECT_EQ(status, row.status) << err.toStdString();
    EXPECT_EQ(out, QString::fromUtf8(row.out));
    if (row.status == 0) {
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        return;
    }
    EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(QString::fromUtf8(row.error))) << err.toStdString();
}

const QStringList kCheck{"updates", "check", "--installed", "1.5", "--timeout", "0.3"};

// clang-format off
const UpdatesRow kRows[] = {
    {.name = "Offered", .list = {.contentType = "text/xml", .body = versionList("1.6")}, .arguments = kCheck, .status = 0,
     .out = "Installed version: 1.5\nAvailable version: 1.6\nAn update is offered: brevona.tgz\n", .error = ""},
    {.name = "NotOffered", .list = {.contentType = "text/xml", .body = versionList("1.10")},
     .arguments = {"updates", "check", "--installed", "1.9"}, .status = 0,
     .out = "Installed version: 1.9\nAvailable version: 1.10\nNo update is offered\n", .error = ""},
    {.name = "Plist", .list = {.contentType = "text/xml", .body = versionList("1.6")},
     .arguments = {"--plist", "updates", "check", "--installed", "2"}, .status = 0,
     .out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n<dict>\n\t<key>AvailableVersion</key>\n\t<string>1.6</string>\n\t<key>Filename</key>\n\t<string>brevona.tgz</string>\n"
            "\t<key>InstalledVersion</key>\n\t<string>2</string>\n\t<key>UpdateAvailable</key>\n\t<false/>\n</dict>\n</plist>\n",
     .error = ""},
    {.name = "NonNumericVersion", .list = {.contentType = "text/xml", .body = versionList("latest")}, .arguments = kCheck,
     .status = 2, .out = "", .error = "the server's version \"latest\" is not a number, so no update is offered"},
    {.name = "NotAPropertyList", .list = {.contentType = "text/plain", .body = "1.6"}, .arguments = kCheck,
     .status = 2, .out = "", .error = "the version list is not a property list"},
    {.name = "HtmlPage", .list = {.contentType = "text/html", .body = "<html><body>Welcome</body></html>"}, .arguments = kCheck,
     .status = 2, .out = "", .error = "the server sent an HTML page, not a version list"},
    {.name = "NoVersion", .list = {.contentType = "text/xml", .body = "<plist version=\"1.0\"><dict/></plist>"}, .arguments = kCheck,
     .status = 2, .out = "", .error = "names no configurator version"},
    {.name = "NotFound", .list = {.status = 404}, .arguments = kCheck,
     .status = 1, .out = "", .error = "the server answered 404 Not Found for versions.xml"},
    {.name = "Stalled", .list = {.stall = true}, .arguments = kCheck,
     .status = 1, .out = "", .error = "no answer from the server for versions.xml within 0.3 s"},
    {.name = "NoAction", .list = {}, .arguments = {"updates"}, .status = 2, .out = "", .error = "updates takes one action, check"},
    {.name = "BadTimeout", .list = {}, .arguments = {"updates", "check", "--timeout", "soon"}, .status = 2, .out = "",
     .error = "--timeout takes a number of seconds"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, LayersUpdatesCheck, testing::ValuesIn(kRows), test::RowName());

TEST(LayersUpdatesCheck, UnusableServerAddress)
{
    test::TestHome home;
    home.setEnvironment("BREVONA_UPDATE_URL", QStringLiteral("ftp://example.invalid/updates"));
    NoDriver driver;
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    EXPECT_EQ(LayersCommandLine(outStream, errStream, home.dataHome(), &driver).run({"updates", "check"}), 2);
    EXPECT_TRUE(err.contains(QLatin1String("is not an http or https address"))) << err.toStdString();
}

} // namespace
