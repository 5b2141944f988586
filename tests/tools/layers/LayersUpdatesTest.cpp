#include <QTextStream>

#include <gtest/gtest.h>

#include "DriverCommandSink.h"
#include "LayersCommandLine.h"
#include "LoopbackHttpServer.h"
#include "TestHome.h"
#include "TestPrinters.h"

using namespace brevona;
using Response = test::LoopbackHttpServer::Reply;

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

// What the tool adds to the library's check: its arguments, its output (--plist too) and the
// mapping of outcomes to exit codes: 0 answered, 1 the server could not be asked, 2 unusable.
struct UpdatesRow
{
    const char *name;
    Response list;
    QStringList arguments;
    int status;
    const char *out;           // standard output, exactly
    const char *error;         // what the one line on standard error says after "brevona-layers: "
    const char *url = nullptr; // BREVONA_UPDATE_URL instead of the loopback server's
};

class LayersUpdatesCheck : public testing::TestWithParam<UpdatesRow>
{
};

TEST_P(LayersUpdatesCheck, PrintsTheVerdictOrOneLine)
{
    const UpdatesRow &row = GetParam();
    test::TestHome home;
    test::LoopbackHttpServer server;
    server.route("/versions.xml", row.list);
    home.setEnvironment("BREVONA_UPDATE_URL", row.url ? QString::fromUtf8(row.url) : server.url().toString());
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
const Response kOffer{.contentType = "text/xml", .body = versionList("1.6")};

// clang-format off
const UpdatesRow kRows[] = {
    {.name = "Offered", .list = kOffer, .arguments = kCheck, .status = 0, .out = "Installed version: 1.5\nAvailable version: 1.6\nAn update is offered: brevona.tgz\n", .error = ""},
    {.name = "NotOffered", .list = kOffer, .arguments = {"updates", "check", "--installed", "1.6"}, .status = 0, .out = "Installed version: 1.6\nAvailable version: 1.6\nNo update is offered\n", .error = ""},
    {.name = "Plist", .list = kOffer, .arguments = {"--plist", "updates", "check", "--installed", "2"}, .status = 0, .out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n" "<plist version=\"1.0\">\n<dict>\n\t<key>AvailableVersion</key>\n\t<string>1.6</string>\n\t<key>Filename</key>\n\t<string>brevona.tgz</string>\n" "\t<key>InstalledVersion</key>\n\t<string>2</string>\n\t<key>UpdateAvailable</key>\n\t<false/>\n</dict>\n</plist>\n", .error = ""},
    {.name = "NotFound", .list = {.status = 404}, .arguments = kCheck, .status = 1, .out = "", .error = "the server answered 404 Not Found for versions.xml"},
    // The version list's download is bounded in time (after the request and after each part) and in size.
    {.name = "Stalled", .list = {.hold = true}, .arguments = kCheck, .status = 1, .out = "", .error = "no answer from the server for versions.xml within 0.3 s"},
    {.name = "StalledMidway", .list = {.body = versionList("1.6"), .stallMidBodyMs = 60000}, .arguments = kCheck, .status = 1, .out = "", .error = "no answer from the server for versions.xml within 0.3 s"},
    {.name = "Oversized", .list = {.body = versionList("1.6") + QByteArray(1024 * 1024, ' ')}, .arguments = kCheck, .status = 1, .out = "", .error = "the answer for versions.xml is larger than 1048576 bytes"},
    {.name = "HtmlPage", .list = {.contentType = "text/html", .body = "<html><body>Welcome</body></html>"}, .arguments = kCheck, .status = 2, .out = "", .error = "the server sent an HTML page, not a version list"},
    {.name = "NonNumericVersion", .list = {.contentType = "text/xml", .body = versionList("latest")}, .arguments = kCheck, .status = 2, .out = "", .error = "the server's version \"latest\" is not a number, so no update is offered"},
    {.name = "NoVersion", .list = {.contentType = "text/xml", .body = "<plist version=\"1.0\"><dict/></plist>"}, .arguments = kCheck, .status = 2, .out = "", .error = "names no configurator version"},
    {.name = "NoAction", .list = {}, .arguments = {"updates"}, .status = 2, .out = "", .error = "updates takes one action, check"},
    {.name = "BadTimeout", .list = {}, .arguments = {"updates", "check", "--timeout", "soon"}, .status = 2, .out = "", .error = "--timeout takes a number of seconds"},
    {.name = "UnusableServerAddress", .list = {}, .arguments = {"updates", "check"}, .status = 2, .out = "", .error = "is not an http or https address", .url = "ftp://example.invalid/updates"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, LayersUpdatesCheck, testing::ValuesIn(kRows), test::RowName());

} // namespace
