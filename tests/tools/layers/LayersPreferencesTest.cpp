#include <QTextStream>

#include <gtest/gtest.h>

#include "DriverCommandSink.h"
#include "LayersCommandLine.h"
#include "TestHome.h"
#include "TestPrinters.h"

using namespace brevona;

namespace {

class Sink : public DriverCommandSink
{
public:
    void sendCommand(const QString &command, const QVariantMap &info) override
    {
        sent.append(command + QLatin1Char(' ') + info.value(QStringLiteral("Value")).toString());
    }
    QStringList sent;
};

struct PrefsRow
{
    const char *name;
    QStringList lines; // one run each
    int status;
    QStringList sent; // "command value"
    const char *out = "";
};

class LayersPrefs : public testing::TestWithParam<PrefsRow>
{
};

// The tool's side of the preferences: exit codes, output, and the command sent before the process
// ends (a window would send it a moment later). Parsing and clamping are the controller's own.
TEST_P(LayersPrefs, StoresAndTellsTheDriverBeforeExit)
{
    const PrefsRow &row = GetParam();
    test::TestHome home;
    Sink sink;
    QString out;
    QString err;
    int status = 0;
    for (const QString &line : row.lines) {
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        status = LayersCommandLine(outStream, errStream, home.dataHome() + QStringLiteral("/Layers"), &sink)
                     .run(line.split(QLatin1Char(' ')));
    }
    EXPECT_EQ(status, row.status) << err.toStdString();
    EXPECT_EQ(sink.sent, row.sent);
    EXPECT_EQ(out, QLatin1String(row.out));
    EXPECT_EQ(err.count(QLatin1Char('\n')), row.status == 0 ? 0 : 1) << err.toStdString();
}

// clang-format off
const PrefsRow kRows[] = {
    {.name = "SetThenGet", .lines = {"prefs set KeyboardSleepTimeout 1000", "prefs get KeyboardSleepTimeout"}, .status = 0, .sent = {"ChangeSleepTimeout 300"}, .out = "300\n"},
    {.name = "UnknownKey", .lines = {"prefs get Nothing"}, .status = 2, .sent = {}},
    {.name = "WrongType", .lines = {"prefs set KeyboardBrightness bright"}, .status = 2, .sent = {}},
    {.name = "WrongVerb", .lines = {"prefs drop KeyboardBrightness"}, .status = 2, .sent = {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, LayersPrefs, testing::ValuesIn(kRows), test::RowName());

} // namespace
