// The one application object of a test program; the test files share it.
#include <QCoreApplication>

namespace {

int argc = 1;
char appName[] = "brevona_actions_test";
char *argv[] = {appName, nullptr};
QCoreApplication app(argc, argv);

} // namespace
