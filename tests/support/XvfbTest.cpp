#include "XvfbTest.h"

#include <QStandardPaths>

#include "Wait.h"

namespace brevona::test {

void XvfbTest::startServer(const Needs &needs)
{
    s_missing.clear();
    s_failure.clear();
    QStringList programs = QStringList{QStringLiteral("Xvfb")} + needs.tools;
    if (needs.windowManager)
        programs << QStringLiteral("openbox") << QStringLiteral("xmessage") << QStringLiteral("xprop");
    for (const QString &program : programs) {
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            s_missing = program + QStringLiteral(" is not installed");
            return;
        }
    }
    s_server = std::make_unique<XvfbServer>();
    if (!s_server->start())
        s_failure = QStringLiteral("Xvfb did not start");
    else if (needs.windowManager && !s_server->startWindowManager())
        s_failure = QStringLiteral("openbox did not start managing windows");
    if (!s_failure.isEmpty())
        s_server.reset();
}

QString XvfbTest::window(const QString &name)
{
    const qsizetype managed = server().clientList().size();
    if (!server().startClient(QStringLiteral("xmessage"), {"-name", name, name}) ||
        !waitUntil([&] { return server().clientList().size() > managed; }, std::chrono::seconds(10)))
        return {};
    return server()
        .output("xdotool", {"search", "--classname", QLatin1Char('^') + name + QLatin1Char('$')})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
        .value(0);
}

void XvfbTest::TearDownTestSuite()
{
    s_server.reset();
}

void XvfbTest::SetUp()
{
    if (!s_missing.isEmpty())
        GTEST_SKIP() << s_missing.toStdString();
    ASSERT_TRUE(s_server) << s_failure.toStdString();
}

} // namespace brevona::test
