// The program as brevona-configurator runs it: a second start hands its files to the window of the
// first over the session bus and ends; the first opens them or says why not.
#include <QApplication>
#include <QImage>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include "AppController.h"
#include "ConfiguratorProgram.h"
#include "KCGroupLayer.h"
#include "LayerPicture.h"
#include "MainWindow.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace {

struct HandOverRow
{
    const char *name;
    const char *file;
    bool picture;
    const char *status;
    int layers; // in the root afterwards
};

// clang-format off
const HandOverRow kHandOver[] = {
    {.name = "keyboard sized picture", .file = "Sunset.png", .picture = true, .status = "Sunset.png opened as a new layer", .layers = 1},
    {.name = "text file", .file = "notes.txt", .picture = false, .status = "notes.txt is not a picture", .layers = 0},
};
// clang-format on

class ProgramTest : public testing::TestWithParam<HandOverRow>
{
};

TEST_P(ProgramTest, ASecondStartHandsItsFilesToTheFirst)
{
    using namespace brevona;
    const HandOverRow &row = GetParam();
    // The program's own preferences and store live in this home; no driver is launched.
    static test::TestHome home;
    ASSERT_TRUE(home.isValid());
    PreferencesStore::shared().setValue(PreferenceKeys::QuietMode, true);
    const QString file = home.path() + "/" + row.file;
    if (row.picture) {
        QImage picture(LayerPicture::Width, LayerPicture::Height, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        ASSERT_TRUE(picture.save(file));
    } else {
        QFile text(file);
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("text");
    }

    ConfiguratorProgram first;
    ASSERT_EQ(first.start({"brevona-configurator"}), std::nullopt);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first.window()));
    const int before = first.controller()->layerManager().rootGroup()->count();

    ConfiguratorProgram second;
    EXPECT_EQ(second.start({"brevona-configurator", file}), 0);
    EXPECT_EQ(second.window(), nullptr);
    ASSERT_TRUE(test::waitUntil([&] {
        return first.window()->statusBar()->currentMessage().contains(QLatin1String(row.status));
    })) << first.window()->statusBar()->currentMessage().toStdString();
    const auto &layers = first.controller()->layerManager().rootGroup()->layers();
    ASSERT_EQ(int(layers.size()), before + row.layers);
    if (row.layers) {
        EXPECT_EQ(layers.front()->title(), QFileInfo(file).completeBaseName());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgramTest, testing::ValuesIn(kHandOver), brevona::test::RowName());

TEST(ProgramCommandLineTest, HelpVersionAndBadOptionsEndBeforeAnythingStarts)
{
    const struct
    {
        QStringList arguments;
        int status;
    } cases[] = {{{"brevona-configurator", "--version"}, 0},
                 {{"brevona-configurator", "--no-such-option"}, 2}};
    for (const auto &c : cases) {
        brevona::ConfiguratorProgram program;
        EXPECT_EQ(program.start(c.arguments), c.status) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(program.window(), nullptr);
    }
}

} // namespace
