#include <memory>
#include <vector>

#include <QString>
#include <QStringList>
#include <QVariant>

#include <gtest/gtest.h>

#include "NotificationCenter.h"

using brevona::Notification;
using brevona::NotificationCenter;

namespace {

// Each test gets its own centre; the process-wide one is only a static instance of the same class.
class NotificationCenterTest : public ::testing::Test
{
protected:
    // An observer that records "<tag>:<name>" for every delivery.
    void record(const void *owner, const QString &tag, const QString &name, const QVariant &object = {})
    {
        center.addObserver(
            owner, name, [this, tag](Notification &n) { log << tag + ":" + n.name(); }, object);
    }

    NotificationCenter center;
    QStringList log;
    int a = 0, b = 0, c = 0; // owners
};

TEST_F(NotificationCenterTest, DeliversSynchronouslyInRegistrationOrder)
{
    record(&b, "b", "N");
    record(&a, "a", "N");
    record(&c, "c", "Other");
    record(&c, "c", "N");
    EXPECT_TRUE(center.post("N"));
    EXPECT_EQ(log, QStringList({"b:N", "a:N", "c:N"}));
    log.clear();
    EXPECT_TRUE(center.post("Unobserved"));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(NotificationCenterTest, EmptyNameObservesEverything)
{
    record(&a, "any", QString());
    record(&b, "b", "N");
    center.post("N");
    center.post("M");
    EXPECT_EQ(log, QStringList({"any:N", "b:N", "any:M"}));
}

TEST_F(NotificationCenterTest, ObjectFilter)
{
    int sender = 0;
    const QVariant one = QVariant::fromValue(static_cast<void *>(&sender));
    record(&a, "any", "N");
    record(&b, "one", "N", one);
    record(&c, "text", "N", QStringLiteral("id-1"));

    struct Case
    {
        QVariant object;
        QStringList expected;
    };
    const Case cases[] = {
        {one, {"any:N", "one:N"}},
        {QVariant(), {"any:N"}},
        {QStringLiteral("id-1"), {"any:N", "text:N"}},
        {QStringLiteral("id-2"), {"any:N"}},
    };
    for (const Case &test : cases) {
        log.clear();
        center.post("N", test.object);
        EXPECT_EQ(log, test.expected) << test.object.toString().toStdString();
    }
}

TEST_F(NotificationCenterTest, UserInfoAndItsAbsenceReachTheObserver)
{
    std::vector<std::pair<bool, QVariantMap>> seen;
    center.addObserver(&a, "N", [&](Notification &n) { seen.emplace_back(n.hasUserInfo(), n.userInfo()); });
    center.post("N", {}, QVariantMap{{"Key", 1}});
    center.post("N");
    center.post("N", {}, QVariantMap{});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(true, QVariantMap{{"Key", 1}}));
    EXPECT_EQ(seen[1], std::make_pair(false, QVariantMap{}));
    EXPECT_EQ(seen[2], std::make_pair(true, QVariantMap{}));
}

TEST_F(NotificationCenterTest, AbandonStopsDeliveryAndFailsThePost)
{
    record(&a, "a", "Command");
    center.addObserver(&b, "Command", [&](Notification &n) {
        log << "b:fails";
        n.abandon();
    });
    record(&c, "c", "Command");
    record(&c, "c", "FollowUp");

    // A command whose handler fails is not followed by its follow-up notification.
    if (center.post("Command"))
        center.post("FollowUp");
    EXPECT_EQ(log, QStringList({"a:Command", "b:fails"}));

    center.removeObserver(&b);
    log.clear();
    EXPECT_TRUE(center.post("Command"));
    EXPECT_EQ(log, QStringList({"a:Command", "c:Command"}));

    Notification preAbandoned("Command", {}, {}, false);
    preAbandoned.abandon();
    log.clear();
    EXPECT_FALSE(center.post(preAbandoned));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(NotificationCenterTest, RemovalDuringAPost)
{
    // a removes itself and c; c must not be called in this post, b still is.
    center.addObserver(&a, "N", [&](Notification &) {
        log << "a";
        center.removeObserver(&a);
        center.removeObserver(&c);
    });
    record(&b, "b", "N");
    record(&c, "c", "N");
    EXPECT_EQ(center.observerCount(), 3u);
    center.post("N");
    EXPECT_EQ(log, QStringList({"a", "b:N"}));
    EXPECT_EQ(center.observerCount(), 1u);
    log.clear();
    center.post("N");
    EXPECT_EQ(log, QStringList({"b:N"}));
}

TEST_F(NotificationCenterTest, RemovingOneNameKeepsTheOwnersOtherObservers)
{
    record(&a, "a", "N");
    record(&a, "a", "M");
    center.removeObserver(&a, "N");
    center.post("N");
    center.post("M");
    EXPECT_EQ(log, QStringList({"a:M"}));
}

TEST_F(NotificationCenterTest, ObserverAddedDuringAPostWaitsForTheNextOne)
{
    center.addObserver(&a, "N", [&](Notification &) {
        log << "a";
        // Enough additions to make the list grow while this handler runs.
        for (int i = 0; i < 64; ++i)
            center.addObserver(&b, "N", [&](Notification &) { log << "late"; });
        log << "a-done"; // the running handler survives the list growing underneath it
    });
    center.post("N");
    EXPECT_EQ(log, QStringList({"a", "a-done"}));
    center.removeObserver(&a);
    log.clear();
    center.post("N");
    EXPECT_EQ(log.size(), 64);
}

TEST_F(NotificationCenterTest, HandlerRemovingItselfStaysAliveUntilItReturns)
{
    auto state = std::make_shared<QString>("alive");
    center.addObserver(&a, "N", [this, state](Notification &) {
        center.removeObserver(&a);
        log << *state; // captured state still valid after its own removal
    });
    std::weak_ptr<QString> watch = state;
    state.reset();
    center.post("N");
    EXPECT_EQ(log, QStringList({"alive"}));
    EXPECT_TRUE(watch.expired()) << "the handler is released once the post is over";
}

TEST_F(NotificationCenterTest, NestedPosts)
{
    center.addObserver(&a, "Outer", [&](Notification &) {
        log << "outer-a";
        EXPECT_TRUE(center.post("Inner"));
        log << "outer-a-after";
    });
    center.addObserver(&b, "Inner", [&](Notification &) {
        log << "inner-b";
        center.removeObserver(&c); // removed from within the inner post
    });
    record(&c, "c", "Outer");
    record(&c, "c", "Inner");
    EXPECT_TRUE(center.post("Outer"));
    EXPECT_EQ(log, QStringList({"outer-a", "inner-b", "outer-a-after"}));
    EXPECT_EQ(center.observerCount(), 2u);
}

} // namespace
