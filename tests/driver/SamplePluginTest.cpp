#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "KCLumivoxImage.h"
#include "KDButton.h"
#include "KDPluginManager.h"
#include "LogCapture.h"
#include "LoopbackHttpServer.h"
#include "TestHome.h"
#include "TestPictures.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
using brevona::test::animatedGif;

namespace {

// The sample plugins as built against the installed-style SDK, hosted by real buttons.
class SamplePluginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        home.setEnvironment("BREVONA_SYSTEM_PLUGIN_DIR", QStringLiteral(BREVONA_SAMPLE_PLUGIN_DIR));
        KDPluginManager::sharedInstance().loadPlugins();
    }

    static std::shared_ptr<KDButton> button(const char *kind, const char *signature,
                                            const QVariantMap &settings)
    {
        return KDButton::create(
            {{QLatin1String(kind), QVariantMap{{"Signature", signature}, {"Settings", settings}}}},
            QStringLiteral("G"), {});
    }

    static QColor centre(KDButton &b) { return QColor(b.image()->image().pixel(24, 24)); }

    // Waits until the key has shown `colours` one after the other, and says whether it did.
    static bool plays(KDButton &b, const QList<QColor> &colours)
    {
        int seen = 0;
        return test::waitUntil([&] {
            if (seen < colours.size() && centre(b) == colours[seen])
                ++seen;
            return seen == colours.size();
        });
    }

    test::TestHome home;
};

TEST_F(SamplePluginTest, ClockDrawsWhenActive)
{
    auto clock = button("DisplayPlugin", "brevona.display.general.clock", {{"color", "#ffffff"}});
    ASSERT_TRUE(clock->hasDisplayPlugin());
    clock->activate();
    const QImage picture = clock->image()->image();
    int lit = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            lit += qGray(picture.pixel(x, y)) > 128 ? 1 : 0;
    EXPECT_GT(lit, 20) << "the time is drawn in white";
    clock->deactivate();
}

struct AnimationRow
{
    const char *name = "";
    QByteArray content = {};
    QList<QColor> shown = {}; // in this order
    const char *logged = "";  // the one line of a file that does not load
};

const QColor Red(255, 0, 0), Green(0, 255, 0), Blue(0, 0, 255);

// clang-format off
const AnimationRow kAnimations[] = {
    {.name = "frames_in_order_and_again", .content = animatedGif({0, 1, 2}, 5), .shown = {Red, Green, Blue, Red, Green}},
    {.name = "truncated_file_plays_what_came_before_the_break", .content = animatedGif({0, 1, 2}, 5).chopped(12), .shown = {Red, Green, Red, Green}},
    {.name = "not_a_picture", .content = "GIF89a, or so it says", .logged = "Cannot play the animation"},
};
// clang-format on

class AnimationTest : public SamplePluginTest, public ::testing::WithParamInterface<AnimationRow>
{
};

TEST_P(AnimationTest, PlaysTheFileAsItIsTimed)
{
    const AnimationRow &row = GetParam();
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("moving.gif"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(row.content) == row.content.size());
    file.close();
    test::LogCapture log({QStringLiteral("brevona.plugin.animation")});
    auto animation = button("DisplayPlugin", "brevona.display.general.animation", {{"filePath", path}});
    ASSERT_TRUE(animation->hasDisplayPlugin());
    animation->activate();
    if (!row.shown.isEmpty()) {
        EXPECT_TRUE(plays(*animation, row.shown));
    }
    test::settle(std::chrono::milliseconds(100));
    animation->deactivate();
    if (*row.logged) {
        EXPECT_EQ(log.messages().size(), 1);
        EXPECT_EQ(log.count(QLatin1String(row.logged)), 1);
        EXPECT_EQ(centre(*animation), QColor(Qt::black))
            << "the key shows nothing of a file that does not load";
    } else {
        EXPECT_TRUE(log.messages().isEmpty()) << qPrintable(log.messages().join('\n'));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, AnimationTest, ::testing::ValuesIn(kAnimations), test::RowName());

TEST_F(SamplePluginTest, WebPictureShowsTheDownloadedPicture)
{
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    red.save(&buffer, "PNG");

    // Any other address is not found.
    test::LoopbackHttpServer server;
    server.route("/red.png", {.contentType = "image/png", .body = png});

    auto web = button("DisplayPlugin", "brevona.display.internet.webpicture",
                      {{"url", server.url("/red.png").toString()}});
    ASSERT_TRUE(web->hasDisplayPlugin());
    web->activate();
    EXPECT_TRUE(test::waitUntil([&] { return centre(*web).red() > 200 && centre(*web).green() < 50; },
                                std::chrono::seconds(10)));

    // A missing picture shows the problem instead of a stale picture.
    auto missing = button("DisplayPlugin", "brevona.display.internet.webpicture",
                          {{"url", server.url("/nope.png").toString()}});
    missing->activate();
    EXPECT_TRUE(test::waitUntil([&] { return QColor(missing->image()->image().pixel(14, 14)).red() > 100; },
                                std::chrono::seconds(10)));

    // A key switched off while its download runs is never called back.
    auto gone = button("DisplayPlugin", "brevona.display.internet.webpicture",
                       {{"url", server.url("/red.png").toString()}});
    gone->activate();
    gone->deactivate();
    gone.reset();
    test::settle(std::chrono::milliseconds(300));
    web->deactivate();
    missing->deactivate();
}

} // namespace
