#include <memory>

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include "DeferredCall.h"

using brevona::DeferredCall;

namespace {

class DeferredCallTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        DeferredCall::cancelAll(&first);
        DeferredCall::cancelAll(&second);
    }

    // One pass of the event loop.
    static void runOnePass() { QCoreApplication::processEvents(); }

    QStringList log;
    int first = 0, second = 0; // targets
};

TEST_F(DeferredCallTest, RunsOnTheNextPassNotBefore)
{
    DeferredCall::performOnce(&first, "save", {}, [&] { log << "save"; });
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(DeferredCall::pendingCount(), 1);
    runOnePass();
    EXPECT_EQ(log, QStringList({"save"}));
    EXPECT_EQ(DeferredCall::pendingCount(), 0);
    runOnePass();
    EXPECT_EQ(log, QStringList({"save"})) << "runs once";
}

TEST_F(DeferredCallTest, ABurstCoalescesIntoTheLatestCall)
{
    for (int i = 0; i < 5; ++i)
        DeferredCall::performOnce(&first, "save", QStringLiteral("Layer-1"),
                                  [this, i] { log << QString::number(i); });
    EXPECT_EQ(DeferredCall::pendingCount(), 1);
    runOnePass();
    EXPECT_EQ(log, QStringList({"4"}));
}

TEST_F(DeferredCallTest, DistinctTargetOperationOrArgumentAreSeparateCalls)
{
    DeferredCall::performOnce(&first, "save", QStringLiteral("A"), [&] { log << "first-save-A"; });
    DeferredCall::performOnce(&first, "save", QStringLiteral("B"), [&] { log << "first-save-B"; });
    DeferredCall::performOnce(&first, "refresh", QStringLiteral("A"), [&] { log << "first-refresh-A"; });
    DeferredCall::performOnce(&second, "save", QStringLiteral("A"), [&] { log << "second-save-A"; });
    DeferredCall::performOnce(&first, "save", QVariant(), [&] { log << "first-save-none"; });
    // Replacing the first one moves it behind the others.
    DeferredCall::performOnce(&first, "save", QStringLiteral("A"), [&] { log << "first-save-A2"; });
    EXPECT_EQ(DeferredCall::pendingCount(), 5);
    runOnePass();
    EXPECT_EQ(log, QStringList({"first-save-B", "first-refresh-A", "second-save-A", "first-save-none",
                                "first-save-A2"}));
}

TEST_F(DeferredCallTest, CancelAllDropsOnlyThatTarget)
{
    DeferredCall::performOnce(&first, "save", 1, [&] { log << "first-1"; });
    DeferredCall::performOnce(&first, "save", 2, [&] { log << "first-2"; });
    DeferredCall::performOnce(&second, "save", 1, [&] { log << "second-1"; });
    DeferredCall::cancelAll(&first);
    EXPECT_EQ(DeferredCall::pendingCount(), 1);
    runOnePass();
    EXPECT_EQ(log, QStringList({"second-1"}));
}

TEST_F(DeferredCallTest, ACallMaySchedule)
{
    DeferredCall::performOnce(&first, "save", {}, [&] {
        log << "outer";
        DeferredCall::performOnce(&first, "save", {}, [&] { log << "again"; });
        DeferredCall::cancelAll(&second);
    });
    DeferredCall::performOnce(&second, "save", {}, [&] { log << "second"; });
    for (int pass = 0; pass < 3; ++pass)
        runOnePass();
    EXPECT_EQ(log, QStringList({"outer", "again"}));
    EXPECT_EQ(DeferredCall::pendingCount(), 0);
}

TEST_F(DeferredCallTest, CallsFromAnotherThreadRunOnTheMainThread)
{
    QThread *const mainThread = QThread::currentThread();
    QThread *ranOn = nullptr;
    std::unique_ptr<QThread> worker(QThread::create(
        [&] { DeferredCall::performOnce(&first, "write", {}, [&] { ranOn = QThread::currentThread(); }); }));
    worker->start();
    ASSERT_TRUE(worker->wait(10000));
    runOnePass();
    EXPECT_EQ(ranOn, mainThread);
}

} // namespace
