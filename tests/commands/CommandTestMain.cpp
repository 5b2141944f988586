// The command tests draw pictures and read the keyboard data set of the build.
#include <gtest/gtest.h>

#include <QGuiApplication>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BREVONA_RESOURCE_DIR", BREVONA_RESOURCE_DIR);
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
