#include "HTTPDownloadHandler.h"

#include <memory>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QNetworkReply>
#include <QThread>

#include "HTTPDownloadDelegate.h"
#include "LogCapture.h"
#include "LoopbackHttpServer.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace std::chrono_literals;
using brevona::DownloadError;
using brevona::HTTPDownloadDelegate;
using brevona::HTTPDownloadHandler;
using brevona::HTTPDownloadResult;
using brevona::test::LogCapture;
using brevona::test::LoopbackHttpServer;
using Reply = LoopbackHttpServer::Reply;

namespace {

class RecordingDelegate : public HTTPDownloadDelegate
{
public:
    void takeDownloadBack(const HTTPDownloadResult &result) override
    {
        results.push_back(result);
        threads.push_back(QThread::currentThread());
    }
    void errorOnDownload(const DownloadError &error) override
    {
        errors.push_back(error);
        threads.push_back(QThread::currentThread());
    }
    int outcomes() const { return static_cast<int>(results.size() + errors.size()); }
    std::set<int> tokens() const
    {
        std::set<int> all;
        for (const auto &result : results)
            all.insert(result.token.toInt());
        for (const auto &error : errors)
            all.insert(error.token.toInt());
        return all;
    }

    std::vector<HTTPDownloadResult> results;
    std::vector<DownloadError> errors;
    std::vector<QThread *> threads;
};

HTTPDownloadHandler *handler()
{
    return HTTPDownloadHandler::sharedHTTPDownloadHelper();
}

bool waitFor(const std::function<bool()> &condition)
{
    return brevona::test::waitUntil(condition, std::chrono::seconds(10));
}

const Reply kHeld{.body = "held", .hold = true};
const Reply kPrivate{.body = "private", .basicCredentials = "user:secret"};

class HTTPDownloadHandlerTest : public testing::Test
{
protected:
    void TearDown() override
    {
        server.releaseHeld();
        EXPECT_TRUE(
            waitFor([] { return handler()->connectionCount() == 0 && handler()->queuedTaskCount() == 0; }));
        handler()->setSimultaneousDownloads(3);
        handler()->setTimeoutInterval(10s);
    }

    LoopbackHttpServer server;
};

struct OutcomeRow
{
    const char *name;
    Reply reply;
    int status; // 0: the download fails by its time-out
    QByteArray body = {};
    QString user = {};
    QString password = {};
    std::chrono::milliseconds timeout = 10s;
};

// clang-format off
const OutcomeRow kOutcomes[] = {
    {.name = "Ok", .reply = {.body = "hello"}, .status = 200, .body = "hello"},
    {.name = "NotFound", .reply = {.status = 404, .body = "missing"}, .status = 404, .body = "missing"},
    {.name = "Credentials", .reply = kPrivate, .status = 200, .body = "private", .user = "user", .password = "secret"},
    {.name = "WrongCredentials", .reply = kPrivate, .status = 401, .body = "unauthorized", .user = "user", .password = "x"},
    {.name = "TimeOutInsideBody", .reply = {.body = QByteArray(4000, 'x'), .stallMidBodyMs = 5000}, .status = 0, .timeout = 400ms},
};
// clang-format on

class HTTPDownloadOutcomeTest : public HTTPDownloadHandlerTest, public testing::WithParamInterface<OutcomeRow>
{
};

TEST_P(HTTPDownloadOutcomeTest, ReachesDelegateOnMainThread)
{
    const OutcomeRow &c = GetParam();
    server.route("/doc", c.reply);
    handler()->setTimeoutInterval(c.timeout);
    RecordingDelegate delegate;
    handler()->downloadURL(server.url("/doc"), c.user, c.password, &delegate, QStringLiteral("token"));

    ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == 1; }));
    EXPECT_EQ(delegate.threads.front(), QCoreApplication::instance()->thread());
    if (c.status != 0) {
        ASSERT_EQ(delegate.results.size(), 1u);
        const HTTPDownloadResult &result = delegate.results.front();
        EXPECT_EQ(result.response.statusCode, c.status);
        EXPECT_EQ(result.data, c.body);
        EXPECT_EQ(result.token.toString(), QStringLiteral("token"));
        EXPECT_EQ(result.response.url, server.url("/doc"));
    } else {
        ASSERT_EQ(delegate.errors.size(), 1u);
        EXPECT_EQ(delegate.errors.front().code, QNetworkReply::TimeoutError); // the only failing cases
        EXPECT_EQ(delegate.errors.front().token.toString(), QStringLiteral("token"));
        EXPECT_EQ(delegate.errors.front().url, server.url("/doc"));
    }
    // Refused credentials are not offered again and again.
    EXPECT_LE(server.requestCount("/doc"), 2);
}

INSTANTIATE_TEST_SUITE_P(Rows, HTTPDownloadOutcomeTest, testing::ValuesIn(kOutcomes),
                         brevona::test::RowName());

TEST_F(HTTPDownloadHandlerTest, RefusedConnectionFails)
{
    RecordingDelegate delegate;
    LogCapture log;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(LoopbackHttpServer::closedPort()));
    handler()->downloadURL(url, &delegate, 7);

    ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == 1; }));
    ASSERT_EQ(delegate.errors.size(), 1u);
    EXPECT_EQ(delegate.errors.front().code, QNetworkReply::ConnectionRefusedError);
    EXPECT_EQ(delegate.errors.front().token.toInt(), 7);
    EXPECT_EQ(log.count(QStringLiteral("did fail with error: ")), 1);
}

TEST_F(HTTPDownloadHandlerTest, RedirectStartsBodyAgain)
{
    server.route("/to", {.body = "arrived"});
    server.route("/from",
                 {.status = 302, .body = "moved", .headers = {{"Location", server.url("/to").toEncoded()}}});
    RecordingDelegate delegate;
    handler()->downloadURL(server.url("/from"), &delegate, {});

    ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == 1; }));
    ASSERT_EQ(delegate.results.size(), 1u);
    EXPECT_EQ(delegate.results.front().data, QByteArray("arrived"));
    EXPECT_EQ(delegate.results.front().response.statusCode, 200);
    EXPECT_EQ(delegate.results.front().response.url, server.url("/to"));
}

TEST_F(HTTPDownloadHandlerTest, EveryDownloadReachesServerWithoutCookies)
{
    server.route("/doc", {.body = "body",
                          .headers = {{"Set-Cookie", "session=42; Path=/"},
                                      {"Cache-Control", "public, max-age=3600"},
                                      {"ETag", "\"v1\""},
                                      {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}}});
    RecordingDelegate delegate;
    for (int i = 0; i < 2; ++i) {
        handler()->downloadURL(server.url("/doc"), &delegate, i);
        ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == i + 1; }));
    }
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    for (const auto &request : requests) {
        EXPECT_FALSE(request.headers.contains("cookie"));
        EXPECT_FALSE(request.headers.contains("if-none-match"));
        EXPECT_FALSE(request.headers.contains("if-modified-since"));
    }
}

TEST_F(HTTPDownloadHandlerTest, CredentialsStayWithHostAndPort)
{
    server.route("/private", kPrivate);
    LoopbackHttpServer other;
    other.route("/private", kPrivate);

    RecordingDelegate delegate;
    handler()->downloadURL(server.url("/private"), QStringLiteral("user"), QStringLiteral("secret"),
                           &delegate, 0);
    ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == 1; }));
    // Without credentials of its own, a later download to that server uses the stored ones...
    handler()->downloadURL(server.url("/private"), &delegate, 1);
    ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == 2; }));
    // ...but they are not offered to another port.
    handler()->downloadURL(other.url("/private"), &delegate, 2);
    ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == 3; }));

    ASSERT_EQ(delegate.results.size(), 3u);
    EXPECT_EQ(delegate.results[0].response.statusCode, 200);
    EXPECT_EQ(delegate.results[1].response.statusCode, 200);
    EXPECT_EQ(delegate.results[2].response.statusCode, 401);
}

TEST_F(HTTPDownloadHandlerTest, FourthDownloadWaitsForFreeSlot)
{
    server.route("/hold", kHeld);
    server.route("/slow", {.body = "never", .delayMs = 5000});
    server.route("/doc", {.body = "fourth"});
    RecordingDelegate delegate;
    handler()->downloadURL(server.url("/hold"), &delegate, 0);
    handler()->downloadURL(server.url("/hold"), &delegate, 1);
    // Only the third gives up soon: a connection takes the time-out set when it starts.
    handler()->setTimeoutInterval(400ms);
    handler()->downloadURL(server.url("/slow"), &delegate, 2);
    handler()->setTimeoutInterval(10s);
    handler()->downloadURL(server.url("/doc"), &delegate, 3);
    EXPECT_EQ(handler()->connectionCount(), 3);
    EXPECT_EQ(handler()->queuedTaskCount(), 1);

    // The time-out of the third frees its slot for the fourth while the first two still wait.
    ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == 2; }));
    ASSERT_EQ(delegate.errors.size(), 1u);
    EXPECT_EQ(delegate.errors.front().token.toInt(), 2);
    ASSERT_EQ(delegate.results.size(), 1u);
    EXPECT_EQ(delegate.results.front().token.toInt(), 3);
    ASSERT_TRUE(waitFor([&] { return server.heldCount() == 2; }));

    server.releaseHeld();
    ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == 4; }));
    EXPECT_EQ(delegate.tokens(), (std::set<int>{0, 1, 2, 3}));
}

TEST_F(HTTPDownloadHandlerTest, FinishedDownloadStartsNextWaitingOne)
{
    server.route("/hold", kHeld);
    handler()->setSimultaneousDownloads(1);
    RecordingDelegate delegate;
    for (int i = 0; i < 3; ++i)
        handler()->downloadURL(server.url("/hold"), &delegate, i);
    ASSERT_TRUE(waitFor([&] { return server.heldCount() == 1; }));
    EXPECT_EQ(handler()->queuedTaskCount(), 2);

    for (int finished = 1; finished <= 3; ++finished) {
        ASSERT_TRUE(waitFor([&] { return server.heldCount() == 1; }));
        server.releaseHeld();
        ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == finished; }));
        EXPECT_EQ(delegate.results.back().token.toInt(), finished - 1); // oldest first
    }
}

TEST_F(HTTPDownloadHandlerTest, RaisingLimitStartsOneWaitingDownload)
{
    server.route("/hold", kHeld);
    handler()->setSimultaneousDownloads(1);
    RecordingDelegate delegate;
    for (int i = 0; i < 4; ++i)
        handler()->downloadURL(server.url("/hold"), &delegate, i);
    EXPECT_EQ(handler()->connectionCount(), 1);

    handler()->setSimultaneousDownloads(4);
    EXPECT_EQ(handler()->connectionCount(), 2);
    EXPECT_EQ(handler()->queuedTaskCount(), 2);

    // Each finished download starts the next waiting one.
    ASSERT_TRUE(waitFor([&] {
        server.releaseHeld();
        return delegate.outcomes() == 4;
    }));
}

TEST_F(HTTPDownloadHandlerTest, CancellingLeavesNoTaskOfDelegate)
{
    server.route("/hold", kHeld);
    RecordingDelegate cancelled;
    RecordingDelegate kept;
    LogCapture log;
    handler()->downloadURL(server.url("/hold"), &cancelled, 0);
    handler()->downloadURL(server.url("/hold"), &cancelled, 1);
    handler()->downloadURL(server.url("/hold"), &kept, 2);
    handler()->downloadURL(server.url("/hold"), &cancelled, 3);
    handler()->downloadURL(server.url("/hold"), &kept, 4);
    ASSERT_TRUE(waitFor([&] { return server.heldCount() == 3; }));

    handler()->cancelAllDownloadsForDelegate(&cancelled);
    EXPECT_EQ(log.count(QStringLiteral("connection cancelled")), 2);
    EXPECT_EQ(log.count(QStringLiteral("task cancelled")), 1);
    // The freed slots go to the other delegate's waiting download.
    EXPECT_EQ(handler()->connectionCount(), 2);
    EXPECT_EQ(handler()->queuedTaskCount(), 0);

    // The kept delegate's second download has arrived, the two cancelled ones are gone.
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/hold") == 4 && server.heldCount() == 2; }));
    EXPECT_EQ(log.count(QStringLiteral("has cancelled")), 2);
    server.releaseHeld();
    ASSERT_TRUE(waitFor([&] { return kept.outcomes() == 2; }));
    EXPECT_EQ(kept.tokens(), (std::set<int>{2, 4}));
    EXPECT_EQ(cancelled.outcomes(), 0);
}

TEST_F(HTTPDownloadHandlerTest, DestroyedDelegateIsNeverCalled)
{
    server.route("/hold", kHeld);
    server.route("/doc", {.body = "doc"});
    handler()->setSimultaneousDownloads(1);
    auto leaving = std::make_unique<RecordingDelegate>();
    RecordingDelegate staying;
    handler()->downloadURL(server.url("/hold"), leaving.get(), 0);
    handler()->downloadURL(server.url("/doc"), leaving.get(), 1);
    handler()->downloadURL(server.url("/doc"), &staying, 2);
    ASSERT_TRUE(waitFor([&] { return server.heldCount() == 1; }));

    leaving.reset(); // like a plugin deactivated in the middle of its download
    server.releaseHeld();
    ASSERT_TRUE(waitFor([&] { return staying.outcomes() == 1; }));
    EXPECT_EQ(server.requestCount("/doc"), 1);
}

TEST_F(HTTPDownloadHandlerTest, DelegateMayCancelItselfWhileCalled)
{
    class OneIsEnough : public RecordingDelegate
    {
    public:
        void takeDownloadBack(const HTTPDownloadResult &result) override
        {
            RecordingDelegate::takeDownloadBack(result);
            handler()->cancelAllDownloadsForDelegate(this);
        }
    } delegate;
    server.route("/doc", {.body = "doc"});
    handler()->setSimultaneousDownloads(1);
    for (int i = 0; i < 3; ++i)
        handler()->downloadURL(server.url("/doc"), &delegate, i);

    ASSERT_TRUE(
        waitFor([&] { return handler()->queuedTaskCount() == 0 && handler()->connectionCount() == 0; }));
    ASSERT_EQ(delegate.outcomes(), 1);
    EXPECT_EQ(delegate.results.front().token.toInt(), 0);
}

TEST_F(HTTPDownloadHandlerTest, DownloadRequestedOnAnotherThreadRunsOnMainThread)
{
    server.route("/doc", {.body = "doc"});
    RecordingDelegate delegate;
    std::thread requester([&] {
        handler()->downloadURL(server.url("/doc"), &delegate, 0);
        handler()->downloadURL(QUrl(), &delegate, 1);
        handler()->downloadURL(server.url("/doc"), nullptr, 2);
    });
    requester.join();

    ASSERT_TRUE(waitFor([&] { return delegate.outcomes() == 1; }));
    EXPECT_EQ(delegate.threads.front(), QCoreApplication::instance()->thread());
    EXPECT_EQ(delegate.results.front().data, QByteArray("doc"));
    // Requests without an address or a delegate were ignored.
    EXPECT_EQ(server.requestCount("/doc"), 1);
    EXPECT_EQ(handler()->queuedTaskCount(), 0);
}

} // namespace
