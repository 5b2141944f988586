// main() of the test programs: the application object the code under test expects, made once
// before any test. brevona_add_test's APP argument picks it: BREVONA_TEST_APP is 0 for
// QCoreApplication, 1 for QGuiApplication (pictures, fonts) and 2 for QApplication (widgets).
#include <gtest/gtest.h>

#if BREVONA_TEST_APP == 2
#include <QApplication>
using Application = QApplication;
#elif BREVONA_TEST_APP == 1
#include <QGuiApplication>
using Application = QGuiApplication;
#else
#include <QCoreApplication>
using Application = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    // Nothing shows on a screen, the tests read this build's data set rather than an installed
    // one, and their loopback servers are reached without the machine's proxy.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BREVONA_RESOURCE_DIR", BREVONA_BINARY_DIR "/resources");
    for (const char *proxy :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(proxy);
    Application application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
