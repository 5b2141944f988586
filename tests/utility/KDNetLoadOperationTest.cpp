#include "KDNetLoadOperation.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "KDNetLoadDelegate.h"
#include "LogCapture.h"
#include "LoopbackHttpServer.h"
#include "SerialOperationQueue.h"
#include "TestPrinters.h"
#include "Wait.h"

using brevona::KDNetLoadDelegate;
using brevona::KDNetLoadOperation;
using brevona::test::LogCapture;
using brevona::test::LoopbackHttpServer;
using brevona::test::RowName;
using brevona::test::waitUntil;
using Reply = LoopbackHttpServer::Reply;

namespace {

class OperationRecorder : public KDNetLoadDelegate
{
public:
    // Callbacks arrive on the queue's thread, so cancel before any member goes away.
    ~OperationRecorder() override { KDNetLoadOperation::cancelAllDownloadsForDelegate(this); }

    void netLoaderOperationFinished(KDNetLoadOperation &operation) override
    {
        std::lock_guard lock(mutex);
        finished.push_back(operation.shared_from_this());
        threads.push_back(std::this_thread::get_id());
    }

    std::vector<std::shared_ptr<KDNetLoadOperation>> calls() const
    {
        std::lock_guard lock(mutex);
        return finished;
    }

    mutable std::mutex mutex;
    std::vector<std::shared_ptr<KDNetLoadOperation>> finished;
    std::vector<std::thread::id> threads;
};

void waitForQueue()
{
    KDNetLoadOperation::sharedDownloadQueue().waitUntilAllOperationsAreFinished();
}

struct TransferRow
{
    const char *name;
    Reply reply;
    std::optional<QByteArray> received; // nothing: the transfer counts as failed
    QString user = {};
    QString password = {};
};

QByteArray largeBody()
{
    QByteArray body(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>((i * 7919) >> 3);
    return body;
}

const Reply kPrivate{.body = "private", .basicCredentials = "user:secret"};

// clang-format off
const TransferRow kTransfers[] = {
    {.name = "Ok", .reply = {.body = "hello"}, .received = "hello"},
    {.name = "EmptyBodyFails", .reply = {.body = ""}, .received = std::nullopt},
    {.name = "NotFoundKeepsBody", .reply = {.status = 404, .body = "missing"}, .received = "missing"},
    {.name = "RedirectNotFollowed", .reply = {.status = 302, .body = "moved", .headers = {{"Location", "/x"}}}, .received = "moved"},
    {.name = "Credentials", .reply = kPrivate, .received = "private", .user = "user", .password = "secret"},
    {.name = "LargeBodyInManyChunks", .reply = {.body = largeBody()}, .received = largeBody()},
};
// clang-format on

class KDNetLoadTransferTest : public testing::TestWithParam<TransferRow>
{
};

TEST_P(KDNetLoadTransferTest, ReportsOnQueueThread)
{
    const TransferRow &c = GetParam();
    LoopbackHttpServer server;
    server.route("/doc", c.reply);
    OperationRecorder recorder;
    LogCapture log;
    const QString address = server.url("/doc").toString();
    const auto operation = KDNetLoadOperation::getAddress(address, c.user, c.password, &recorder);
    waitForQueue();

    ASSERT_EQ(recorder.calls().size(), 1u);
    EXPECT_EQ(recorder.calls().front(), operation);
    EXPECT_NE(recorder.threads.front(), std::this_thread::get_id());
    EXPECT_TRUE(operation->isFinished());
    EXPECT_EQ(operation->status(), CURLE_OK);
    EXPECT_EQ(operation->receivedData(), c.received);
    const QString outcome = c.received ? QStringLiteral("completed") : QStringLiteral("failed");
    EXPECT_EQ(log.count(QStringLiteral("loading ") + outcome), 1) << log.messages().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Rows, KDNetLoadTransferTest, testing::ValuesIn(kTransfers), RowName());

struct FailureRow
{
    const char *name;
    QString address = {}; // "%1": a closed port; empty with `served`: the server's document
    int status;
    std::optional<Reply> served = std::nullopt;
};

class KDNetLoadFailureTest : public testing::TestWithParam<FailureRow>
{
};

TEST_P(KDNetLoadFailureTest, ReportsLibcurlCode)
{
    const FailureRow &c = GetParam();
    LoopbackHttpServer server;
    if (c.served)
        server.route("/doc", *c.served);
    const QString address = c.served ? server.url("/doc").toString()
                            : c.address.contains(QLatin1String("%1"))
                                ? c.address.arg(LoopbackHttpServer::closedPort())
                                : c.address;
    OperationRecorder recorder;
    LogCapture log;
    const KDNetLoadOperation::TimeLimits limits = KDNetLoadOperation::timeLimits();
    KDNetLoadOperation::setTimeLimits({std::chrono::seconds(1), std::chrono::seconds(1)});
    const auto operation = KDNetLoadOperation::getAddress(address, {}, {}, &recorder);
    waitForQueue();
    KDNetLoadOperation::setTimeLimits(limits);
    server.releaseHeld();

    ASSERT_EQ(recorder.calls().size(), 1u);
    EXPECT_EQ(operation->status(), c.status);
    EXPECT_FALSE(operation->receivedData().has_value());
    EXPECT_EQ(log.count(QStringLiteral("loading failed, status %1").arg(c.status)), 1);
}

// A server that takes the request and never answers, or stops mid-document, frees the queue.
// clang-format off
const FailureRow kFailures[] = {
    {.name = "RefusedConnection", .address = "http://127.0.0.1:%1/doc", .status = CURLE_COULDNT_CONNECT},
    {.name = "EmptyAddress", .address = "", .status = CURLE_URL_MALFORMAT},
    {.name = "NeverAnswers", .status = CURLE_OPERATION_TIMEDOUT, .served = Reply{.body = "held", .hold = true}},
    {.name = "StallsMidBody", .status = CURLE_OPERATION_TIMEDOUT, .served = Reply{.body = "ab", .stallMidBodyMs = 4000}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, KDNetLoadFailureTest, testing::ValuesIn(kFailures), RowName());

TEST(KDNetLoadOperationTest, WithoutCredentialsSendsEmptyPair)
{
    LoopbackHttpServer server;
    server.route("/private", kPrivate);
    OperationRecorder recorder;
    auto operation = std::make_shared<KDNetLoadOperation>(server.url("/private").toString(), &recorder);
    KDNetLoadOperation::sharedDownloadQueue().addOperation(operation);
    waitForQueue();

    EXPECT_EQ(operation->receivedData(), QByteArray("unauthorized"));
    const auto requests = server.requests();
    ASSERT_FALSE(requests.isEmpty());
    EXPECT_EQ(requests.back().headers.value("authorization"),
              QByteArray("Basic ") + QByteArray(":").toBase64());
}

TEST(KDNetLoadOperationTest, RunsOneTransferAtATimeInOrder)
{
    LoopbackHttpServer server;
    server.route("/slow", {.body = "slow", .delayMs = 150});
    OperationRecorder recorder;
    std::vector<std::shared_ptr<KDNetLoadOperation>> added;
    for (int i = 0; i < 4; ++i)
        added.push_back(KDNetLoadOperation::getAddress(server.url("/slow").toString(), {}, {}, &recorder));
    waitForQueue();

    EXPECT_EQ(recorder.calls(), added);
    EXPECT_EQ(server.maxOpenConnections(), 1);
    for (std::size_t i = 1; i < recorder.threads.size(); ++i)
        EXPECT_EQ(recorder.threads[i], recorder.threads.front());
}

TEST(KDNetLoadOperationTest, CancellingStopsRunningAndWaitingOperationsOfDelegateOnly)
{
    LoopbackHttpServer server;
    server.route("/hold", {.body = "held", .hold = true});
    server.route("/doc", {.body = "doc"});
    OperationRecorder cancelled;
    OperationRecorder kept;
    const auto running = KDNetLoadOperation::getAddress(server.url("/hold").toString(), {}, {}, &cancelled);
    const auto waiting = KDNetLoadOperation::getAddress(server.url("/doc").toString(), {}, {}, &cancelled);
    const auto other = KDNetLoadOperation::getAddress(server.url("/doc").toString(), {}, {}, &kept);
    ASSERT_TRUE(waitUntil([&] { return server.heldCount() == 1; }));

    KDNetLoadOperation::cancelAllDownloadsForDelegate(&cancelled);
    // The held transfer is broken off without the server answering.
    waitForQueue();

    EXPECT_TRUE(cancelled.calls().empty());
    ASSERT_EQ(kept.calls().size(), 1u);
    EXPECT_EQ(other->receivedData(), QByteArray("doc"));
    EXPECT_EQ(running->status(), CURLE_ABORTED_BY_CALLBACK);
    EXPECT_FALSE(running->receivedData().has_value());
    EXPECT_EQ(waiting->status(), -1);
    EXPECT_TRUE(waiting->isFinished());
    EXPECT_EQ(server.requestCount("/doc"), 1);
}

TEST(KDNetLoadOperationTest, DelegateDestroyedDuringTransferIsNeverCalled)
{
    // No cancelling of its own: the base class does it on destruction.
    struct PlainDelegate : KDNetLoadDelegate
    {
        void netLoaderOperationFinished(KDNetLoadOperation &) override { ++calls; }
        int calls = 0;
    };
    LoopbackHttpServer server;
    server.route("/hold", {.body = "held", .hold = true});
    auto delegate = std::make_unique<PlainDelegate>();
    const auto operation =
        KDNetLoadOperation::getAddress(server.url("/hold").toString(), {}, {}, delegate.get());
    ASSERT_TRUE(waitUntil([&] { return server.heldCount() == 1; }));

    delegate.reset();
    server.releaseHeld();
    waitForQueue();
    EXPECT_TRUE(operation->isCancelled());
    EXPECT_TRUE(operation->isFinished());
}

TEST(KDNetLoadOperationTest, CancellingWaitsForCallAlreadyRunning)
{
    struct SlowDelegate : KDNetLoadDelegate
    {
        ~SlowDelegate() override { KDNetLoadOperation::cancelAllDownloadsForDelegate(this); }
        void netLoaderOperationFinished(KDNetLoadOperation &) override
        {
            inCall = true;
            entered = true;
            while (!cancelRequested)
                std::this_thread::yield();
            // Gives a cancellation that does not wait the time to return while still inside.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            inCall = false;
        }
        std::atomic<bool> inCall{false};
        std::atomic<bool> entered{false};
        std::atomic<bool> cancelRequested{false};
    };
    LoopbackHttpServer server;
    server.route("/doc", {.body = "doc"});
    SlowDelegate delegate;
    KDNetLoadOperation::getAddress(server.url("/doc").toString(), {}, {}, &delegate);
    ASSERT_TRUE(waitUntil([&] { return delegate.entered.load(); }));

    delegate.cancelRequested = true;
    KDNetLoadOperation::cancelAllDownloadsForDelegate(&delegate);
    EXPECT_FALSE(delegate.inCall.load());
    waitForQueue();
}

} // namespace
