#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include "XvfbServer.h"

namespace brevona::test {

// A fixture whose tests share one Xvfb, started before the suite's first test and stopped after
// its last. Where a program it needs is missing, every test is skipped with the reason; where the
// server does not start, every test fails. A suite that needs more than the bare server (a window
// manager, X clients) says so in its own SetUpTestSuite:
//     static void SetUpTestSuite() { startServer({.windowManager = true, .tools = {"xdotool"}}); }
class XvfbTest : public ::testing::Test
{
public:
    struct Needs
    {
        // openbox managing windows (which needs xmessage and xprop as well).
        bool windowManager = false;
        // Further programs the tests run on the display.
        QStringList tools;
    };

    static void SetUpTestSuite() { startServer({}); }
    static void TearDownTestSuite();

protected:
    static void startServer(const Needs &needs);
    void SetUp() override;

    static XvfbServer &server() { return *s_server; }
    static QString display() { return s_server->display(); }
    // An xmessage window whose WM_CLASS instance is `name`, once the window manager shows it (the
    // suite asked for one); empty when it does not appear.
    static QString window(const QString &name);

private:
    static inline std::unique_ptr<XvfbServer> s_server;
    static inline QString s_missing;
    static inline QString s_failure;
};

} // namespace brevona::test
