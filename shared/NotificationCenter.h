#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace brevona {

// One in-process notification. An observer may abandon it: the observers after it are not called
// and post() reports that the notification did not go through (a command that failed a check).
class Notification
{
public:
    Notification(QString name, QVariant object, QVariantMap userInfo, bool hasUserInfo);

    const QString &name() const { return m_name; }
    const QVariant &object() const { return m_object; }
    const QVariantMap &userInfo() const { return m_userInfo; }
    bool hasUserInfo() const { return m_hasUserInfo; }

    void abandon() { m_abandoned = true; }
    bool isAbandoned() const { return m_abandoned; }

private:
    QString m_name;
    QVariant m_object;
    QVariantMap m_userInfo;
    bool m_hasUserInfo;
    bool m_abandoned = false;
};

// Synchronous in-process notification centre: post() calls every matching observer, in the order
// they registered, before it returns. Observers are identified by an owner pointer; an owner removes
// all its registrations before it is destroyed, which is safe even from inside a delivery: an
// observer removed during a post is not called afterwards, and one added during a post is first
// called by the next post. Posts may nest. The centre belongs to the main thread.
class NotificationCenter
{
public:
    using Handler = std::function<void(Notification &)>;

    static NotificationCenter &defaultCenter();

    // An empty `name` matches every notification; an invalid `object` filter matches every object.
    void addObserver(const void *owner, const QString &name, Handler handler, const QVariant &object = {});
    void removeObserver(const void *owner);
    void removeObserver(const void *owner, const QString &name);

    // Returns false when an observer abandoned the notification.
    bool post(const QString &name, const QVariant &object = {});
    bool post(const QString &name, const QVariant &object, const QVariantMap &userInfo);
    bool post(Notification &notification);

    std::size_t observerCount() const;

private:
    struct Entry
    {
        std::uint64_t id;
        const void *owner;
        QString name;
        QVariant object;
        // Shared so that a handler stays alive while it runs even if its entry is removed or the
        // list grows underneath it.
        std::shared_ptr<const Handler> handler;
        bool removed = false;
    };

    void markRemoved(const void *owner, const QString *name);
    void compactIfIdle();

    std::vector<Entry> m_entries;
    // Live registrations per owner: most owners that remove themselves (every key of every layer)
    // have none, and tearing down a large tree must not walk the whole list for each of them.
    std::unordered_map<const void *, std::size_t> m_liveByOwner;
    std::size_t m_removedCount = 0;
    std::uint64_t m_nextId = 1;
    int m_postDepth = 0;
};

} // namespace brevona
