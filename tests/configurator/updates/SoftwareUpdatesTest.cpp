#include <algorithm>

#include <QSignalSpy>

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "PreferenceKeys.h"
#include "TestPrinters.h"
#include "UpdatesFixture.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test::updates;

namespace {

// ---- The check --------------------------------------------------------------------------------

struct CheckRow
{
    const char *name;
    Response list;
    const char *available;
    bool offered;
    const char *error; // nullptr: none
};

class UpdateCheck : public testing::TestWithParam<CheckRow>
{
};

TEST_P(UpdateCheck, ComparesOrReportsOneLine)
{
    const CheckRow &row = GetParam();
    UpdatesFixture fixture;
    fixture.server.route("/versions.xml", row.list);
    KCSoftwareUpdates &updates = fixture.make();
    QSignalSpy checking(&updates, &KCSoftwareUpdates::checkingChanged);
    QSignalSpy failed(&updates, &KCSoftwareUpdates::checkFailed);
    test::LogCapture log({QStringLiteral("brevona.configurator.updates")});
    ASSERT_TRUE(fixture.check());

    EXPECT_EQ(updates.availableVersion(), QString::fromUtf8(row.available));
    EXPECT_EQ(updates.configuratorUpdateAvailable(), row.offered);
    EXPECT_FALSE(updates.isCheckingUpdates());
    ASSERT_EQ(checking.count(), 2);
    EXPECT_TRUE(checking.at(0).at(0).toBool());
    EXPECT_FALSE(checking.at(1).at(0).toBool());
    if (row.error) {
        ASSERT_EQ(failed.count(), 1);
        EXPECT_EQ(failed.at(0).at(0).toString(), QString::fromUtf8(row.error));
        EXPECT_EQ(
            log.count(QStringLiteral("Error when checking for updates: ") + QString::fromUtf8(row.error)), 1)
            << log.messages().join(QLatin1Char('\n')).toStdString();
    } else {
        EXPECT_EQ(failed.count(), 0) << failed.value(0).value(0).toString().toStdString();
        EXPECT_EQ(log.count(QStringLiteral("Error when checking for updates")), 0);
    }
    EXPECT_TRUE(fixture.started.isEmpty());
}

const QByteArray kOversized = versionList("1.6") + QByteArray(1024 * 1024, ' ');

// clang-format off
const CheckRow kCheckRows[] = {
    {.name = "Newer",        .list = listResponse("1.6"),  .available = "1.6",  .offered = true,  .error = nullptr},
    {.name = "Same",         .list = listResponse("1.5"),  .available = "1.5",  .offered = false, .error = nullptr},
    {.name = "HtmlPage",     .list = {.contentType = "text/html", .body = "<!DOCTYPE html>\n<html><body>Down for maintenance</body></html>"}, .available = "", .offered = false, .error = "the server sent an HTML page, not a version list"},
    {.name = "NotFound",     .list = {.status = 404, .contentType = "text/html", .body = "<html>gone</html>"}, .available = "", .offered = false, .error = "the server answered 404 Not Found for versions.xml"},
    {.name = "Stalled",      .list = {.hold = true}, .available = "", .offered = false, .error = "no answer from the server for versions.xml within 0.3 s"},
    {.name = "StalledMidway", .list = {.body = versionList("1.6"), .stallMidBodyMs = 60000}, .available = "", .offered = false, .error = "no answer from the server for versions.xml within 0.3 s"},
    {.name = "OversizedByLength", .list = {.body = kOversized}, .available = "", .offered = false, .error = "the answer for versions.xml is larger than 1048576 bytes"},
    {.name = "OversizedWhileReading", .list = {.body = kOversized, .omitLength = true}, .available = "", .offered = false, .error = "the answer for versions.xml is larger than 1048576 bytes"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, UpdateCheck, testing::ValuesIn(kCheckRows), test::RowName());

TEST(UpdateCheck, AsksUncachedWithTheSameTimeForBothDocuments)
{
    UpdatesFixture fixture;
    fixture.make();
    ASSERT_TRUE(fixture.check());
    ASSERT_TRUE(test::waitUntil([&] { return fixture.server.requests().size() == 2; }));
    auto requests = fixture.server.requests();
    std::ranges::sort(requests, {}, &test::LoopbackHttpServer::Request::path);
    const QByteArray hash = requests.at(1).path.mid(requests.at(1).path.indexOf("?hash=") + 6);
    EXPECT_EQ(requests.at(0).path, "/description.rtf?hash=" + hash);
    EXPECT_EQ(requests.at(1).path, "/versions.xml?hash=" + hash);
    bool number = false;
    EXPECT_GT(hash.toDouble(&number), 1.7e9);
    EXPECT_TRUE(number) << hash.toStdString();
    EXPECT_EQ(requests.at(1).headers.value("cache-control"), "no-cache");
}

// The base address names a folder, with or without its final slash.
TEST(UpdateCheck, BaseAddressIsAFolder)
{
    UpdatesFixture fixture;
    fixture.server.route("/versions.xml", {.status = 404}); // only the folder's list answers
    fixture.server.route("/brevona/updates/versions.xml", listResponse("1.6"));
    KCSoftwareUpdates &updates =
        fixture.make([&](auto &options) { options.baseUrl = fixture.server.url("/brevona/updates"); });
    ASSERT_TRUE(fixture.check());
    EXPECT_TRUE(updates.configuratorUpdateAvailable()) << updates.lastError().toStdString();
}

// The quiet time after a complete answer is no stalled server.
TEST(UpdateCheck, ACompleteAnswerNeverTimesOutLater)
{
    UpdatesFixture fixture;
    fixture.server.route("/description.rtf", Response{.body = "{\\rtf1 notes}"});
    KCSoftwareUpdates &updates = fixture.make();
    QSignalSpy failed(&updates, &KCSoftwareUpdates::checkFailed);
    ASSERT_TRUE(fixture.check());
    test::settle(std::chrono::milliseconds(3 * kTimeoutMs));
    EXPECT_EQ(failed.count(), 0);
    EXPECT_TRUE(updates.configuratorUpdateAvailable());
    EXPECT_EQ(updates.releaseNotes()->text(), QStringLiteral("notes"));
}

TEST(UpdateCheck, AFailedTransferKeepsWhatTheLastCheckFound)
{
    UpdatesFixture fixture;
    KCSoftwareUpdates &updates = fixture.make();
    ASSERT_TRUE(fixture.check());
    fixture.server.route("/versions.xml", Response{.status = 404});
    ASSERT_TRUE(fixture.check());
    EXPECT_TRUE(updates.configuratorUpdateAvailable());
    EXPECT_EQ(updates.availableVersion(), QStringLiteral("1.6"));
    EXPECT_EQ(updates.lastError(), QStringLiteral("the server answered 404 Not Found for versions.xml"));
}

// A second check abandons the first: its late answer (a newer version) never lands.
TEST(UpdateCheck, OverlappingChecksKeepTheirAnswersApart)
{
    UpdatesFixture fixture;
    fixture.server.route("/versions.xml",
                         Response{.contentType = "text/xml", .body = versionList("1.9"), .delayMs = 200});
    KCSoftwareUpdates &updates = fixture.make([](auto &options) { options.requestTimeoutMs = 5000; });
    QSignalSpy finished(&updates, &KCSoftwareUpdates::checkFinished);
    QSignalSpy checking(&updates, &KCSoftwareUpdates::checkingChanged);
    updates.checkForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return fixture.server.requestCount("/versions.xml") == 1; }));
    fixture.server.route("/versions.xml", listResponse("1.6"));
    updates.checkForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return finished.count() == 1; }));
    test::settle(std::chrono::milliseconds(400));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(updates.availableVersion(), QStringLiteral("1.6"));
    EXPECT_EQ(checking.count(), 2) << "one check in progress, then none";
}

// ---- The schedule -----------------------------------------------------------------------------

struct ScheduleRow
{
    const char *name;
    bool quiet;
    bool automatic;
    int intervalMs;
    int checks; // versions.xml requests expected; with a short interval, at least this many
};

class UpdateSchedule : public testing::TestWithParam<ScheduleRow>
{
};

TEST_P(UpdateSchedule, FollowsQuietModeAndTheAutomaticCheckPreference)
{
    const ScheduleRow &row = GetParam();
    UpdatesFixture fixture;
    fixture.preferences.setValue(PreferenceKeys::QuietMode, row.quiet);
    fixture.preferences.setValue(PreferenceKeys::GeneralCheckForUpdates, row.automatic);
    KCSoftwareUpdates &updates = fixture.make([&](auto &options) {
        options.firstCheckDelayMs = 10;
        options.checkIntervalMs = row.intervalMs;
    });
    updates.startScheduledChecks();
    const auto checks = [&] { return fixture.server.requestCount("/versions.xml"); };
    if (row.checks == 0) {
        test::settle(std::chrono::milliseconds(300));
        EXPECT_EQ(checks(), 0);
        return;
    }
    EXPECT_TRUE(test::waitUntil([&] { return checks() >= row.checks; })) << checks();
    if (row.intervalMs > 60'000) {
        test::settle(std::chrono::milliseconds(100));
        EXPECT_EQ(checks(), row.checks);
    }
}

// clang-format off
const ScheduleRow kScheduleRows[] = {
    {.name = "SoonAfterStart",       .quiet = false, .automatic = true,  .intervalMs = 3'600'000, .checks = 1},
    {.name = "QuietModeSkipsStart",  .quiet = true,  .automatic = true,  .intervalMs = 3'600'000, .checks = 0},
    {.name = "SwitchedOff",          .quiet = false, .automatic = false, .intervalMs = 3'600'000, .checks = 0},
    {.name = "RepeatsInQuietMode",   .quiet = true,  .automatic = true,  .intervalMs = 50,        .checks = 2},
    {.name = "SwitchedOffNoRepeats", .quiet = true,  .automatic = false, .intervalMs = 50,        .checks = 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, UpdateSchedule, testing::ValuesIn(kScheduleRows), test::RowName());

// ---- Notes and prompt -------------------------------------------------------------------------

TEST(UpdateNotes, DimTheInstalledVersionsOnceBothDocumentsArrived)
{
    UpdatesFixture fixture;
    fixture.server.route("/description.rtf",
                         Response{.contentType = "text/rtf",
                                  .body = "{\\rtf1\\ansi Version 1.6\\par New\\par Version 1.5\\par Old}"});
    KCSoftwareUpdates &updates = fixture.make();
    ASSERT_TRUE(fixture.check());
    ASSERT_TRUE(test::waitUntil([&] { return updates.releaseNotes().has_value(); }));
    EXPECT_EQ(updates.releaseNotes()->text(), QStringLiteral("Version 1.6\nNew\nVersion 1.5\nOld"));
    EXPECT_TRUE(updates.descriptionHtml().contains(QLatin1String("<hr")));
    EXPECT_TRUE(updates.descriptionHtml().contains(QLatin1String(ReleaseNotes::kDimmedColour)));
}

TEST(UpdateNotes, AFailedDownloadShowsItsError)
{
    UpdatesFixture fixture;
    KCSoftwareUpdates &updates = fixture.make();
    QSignalSpy changed(&updates, &KCSoftwareUpdates::descriptionChanged);
    ASSERT_TRUE(fixture.check());
    ASSERT_TRUE(test::waitUntil([&] { return updates.descriptionHtml().contains(QLatin1String("404")); }));
    EXPECT_TRUE(updates.descriptionHtml().contains(QLatin1String("description.rtf")));
    EXPECT_FALSE(updates.releaseNotes().has_value());
}

TEST(UpdatePrompt, SoundOnlyTheFirstTime)
{
    UpdatesFixture fixture;
    fixture.server.route("/versions.xml", listResponse("1.5"));
    KCSoftwareUpdates &updates = fixture.make();
    QSignalSpy prompts(&updates, &KCSoftwareUpdates::promptUpdate);
    ASSERT_TRUE(fixture.check());
    updates.tryToPromptUpdate();
    EXPECT_EQ(prompts.count(), 0) << "nothing to install, nothing shown";
    fixture.server.route("/versions.xml", listResponse("1.6"));
    ASSERT_TRUE(fixture.check());
    updates.tryToPromptUpdate();
    updates.tryToPromptUpdate();
    ASSERT_EQ(prompts.count(), 2);
    EXPECT_TRUE(prompts.at(0).at(0).toBool());
    EXPECT_FALSE(prompts.at(1).at(0).toBool());
}

} // namespace
