#include <QBuffer>
#include <QDir>

#include <gtest/gtest.h>

#include "KCLumivoxImage.h"
#include "KDButton.h"
#include "KDPluginManager.h"
#include "LoopbackHttpServer.h"
#include "TestHome.h"
#include "Wait.h"

using namespace brevona;

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
    server.route("/red.png", {.body = png, .headers = {{"Content-Type", "image/png"}}});

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
