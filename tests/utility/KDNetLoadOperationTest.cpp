#include "KDNetLoadOperation.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <QTcpServer>

#include "KDNetLoadDelegate.h"
#include "LoopbackHttpServer.h"
#include "SerialOperationQueue.h"
#include "UtilityTestSupport.h"

using brevona::KDNetLoadDelegate;
using brevona::KDNetLoadOperation;
using brevona::test::LogCapture;
using brevona::test::LoopbackHttpServer;
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

bool waitUntil(const std::function<bool()> &condition)
{
    for (int i = 0; i < 1000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

struct TransferCase
{
    const char *name;
    Reply reply;
    QString user;
    QString password;
    std::optional<QByteArray> received;
};

void PrintTo(const TransferCase &c, std::ostream *out)
{
    *out << c.name;
}

QByteArray largeBody()
{
    QByteArray body(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>((i * 7919) >> 3);
    return body;
}

const TransferCase kTransfers[] = {
    {"Ok", {200, "hello", {}, 0, 0, false, {}}, {}, {}, QByteArray("hello")},
    {"EmptyBodyFails", {200, "", {}, 0, 0, false, {}}, {}, {}, std::nullopt},
    {"NotFoundKeepsBody", {404, "missing", {}, 0, 0, false, {}}, {}, {}, QByteArray("missing")},
    {"ServerErrorWithoutBodyFails", {500, "", {}, 0, 0, false, {}}, {}, {}, std::nullopt},
    {"RedirectNotFollowed",
     {302, "moved", {{"Location", "/elsewhere"}}, 0, 0, false, {}},
     {},
     {},
     QByteArray("moved")},
    {"Credentials",
     {200, "private", {}, 0, 0, false, "user:secret"},
     "user",
     "secret",
     QByteArray("private")},
    {"WrongCredentials",
     {200, "private", {}, 0, 0, false, "user:secret"},
     "user",
     "x",
     QByteArray("unauthorized")},
    {"LargeBodyInManyChunks", {200, largeBody(), {}, 0, 0, false, {}}, {}, {}, largeBody()},
};

class KDNetLoadTransferTest : public testing::TestWithParam<TransferCase>
{
};

TEST_P(KDNetLoadTransferTest, ReportsOnQueueThread)
{
    const TransferCase &c = GetParam();
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
    EXPECT_EQ(log.count(QStringLiteral("NetLoadOperation: '%1' loading %2, status 0").arg(address, outcome)),
              1)
        << log.lines().join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Transfers, KDNetLoadTransferTest, testing::ValuesIn(kTransfers),
                         [](const auto &info) { return std::string(info.param.name); });

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

struct FailureCase
{
    const char *name;
    QString address; // "%1": a closed port; empty with `served`: the server's document
    int status;
    std::optional<Reply> served = std::nullopt;
};

void PrintTo(const FailureCase &c, std::ostream *out)
{
    *out << c.name;
}

class KDNetLoadFailureTest : public testing::TestWithParam<FailureCase>
{
};

TEST_P(KDNetLoadFailureTest, ReportsLibcurlCode)
{
    const FailureCase &c = GetParam();
    LoopbackHttpServer server;
    if (c.served)
        server.route("/doc", *c.served);
    const QString address = c.served                                  ? server.url("/doc").toString()
                            : c.address.contains(QLatin1String("%1")) ? c.address.arg(closedPort())
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
    EXPECT_EQ(
        log.count(
            QStringLiteral("NetLoadOperation: '%1' loading failed, status %2").arg(address).arg(c.status)),
        1);
}

const FailureCase kFailures[] = {
    {"RefusedConnection", QStringLiteral("http://127.0.0.1:%1/doc"), CURLE_COULDNT_CONNECT},
    {"UnknownScheme", QStringLiteral("nosuchscheme://127.0.0.1/doc"), CURLE_UNSUPPORTED_PROTOCOL},
    {"MalformedAddress", QStringLiteral("http://[::1/doc"), CURLE_URL_MALFORMAT},
    {"EmptyAddress", QString(), CURLE_URL_MALFORMAT},
    // A server that takes the request and never answers, or stops mid-document, frees the queue.
    {"ServerNeverAnswers", {}, CURLE_OPERATION_TIMEDOUT, Reply{200, "held", {}, 0, 0, true, {}}},
    {"ServerStallsMidBody", {}, CURLE_OPERATION_TIMEDOUT, Reply{200, "ab", {}, 0, 4000, false, {}}},
};

INSTANTIATE_TEST_SUITE_P(Failures, KDNetLoadFailureTest, testing::ValuesIn(kFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(KDNetLoadOperationTest, WithoutCredentialsSendsEmptyPair)
{
    LoopbackHttpServer server;
    server.route("/private", {200, "private", {}, 0, 0, false, "user:secret"});
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
    server.route("/slow", {200, "slow", {}, 150, 0, false, {}});
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
    server.route("/hold", {200, "held", {}, 0, 0, true, {}});
    server.route("/doc", {200, "doc", {}, 0, 0, false, {}});
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
    server.route("/hold", {200, "held", {}, 0, 0, true, {}});
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
    server.route("/doc", {200, "doc", {}, 0, 0, false, {}});
    SlowDelegate delegate;
    KDNetLoadOperation::getAddress(server.url("/doc").toString(), {}, {}, &delegate);
    ASSERT_TRUE(waitUntil([&] { return delegate.entered.load(); }));

    delegate.cancelRequested = true;
    KDNetLoadOperation::cancelAllDownloadsForDelegate(&delegate);
    EXPECT_FALSE(delegate.inCall.load());
    waitForQueue();
}

} // namespace
