#include "NotificationCenter.h"

#include <algorithm>
#include <utility>

namespace brevona {

Notification::Notification(QString name, QVariant object, QVariantMap userInfo, bool hasUserInfo)
    : m_name(std::move(name))
    , m_object(std::move(object))
    , m_userInfo(std::move(userInfo))
    , m_hasUserInfo(hasUserInfo)
{}

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const void *owner, const QString &name, Handler handler,
                                     const QVariant &object)
{
    if (!handler)
        return;
    m_entries.push_back(
        Entry{m_nextId++, owner, name, object, std::make_shared<const Handler>(std::move(handler))});
    ++m_liveByOwner[owner];
}

void NotificationCenter::removeObserver(const void *owner)
{
    markRemoved(owner, nullptr);
}

void NotificationCenter::removeObserver(const void *owner, const QString &name)
{
    markRemoved(owner, &name);
}

void NotificationCenter::markRemoved(const void *owner, const QString *name)
{
    const auto live = m_liveByOwner.find(owner);
    if (live == m_liveByOwner.end())
        return;
    for (Entry &entry : m_entries) {
        if (entry.owner == owner && !entry.removed && (!name || entry.name == *name)) {
            entry.removed = true;
            ++m_removedCount;
            --live->second;
        }
    }
    if (live->second == 0)
        m_liveByOwner.erase(live);
    compactIfIdle();
}

void NotificationCenter::compactIfIdle()
{
    // While a post walks the list by index, entries only get marked; they leave once it is done.
    // Posts step over marked entries, so the list is compacted only once they are half of it:
    // removing many owners one after the other stays linear.
    if (m_postDepth > 0 || m_removedCount * 2 <= m_entries.size())
        return;
    std::erase_if(m_entries, [](const Entry &entry) { return entry.removed; });
    m_removedCount = 0;
}

bool NotificationCenter::post(const QString &name, const QVariant &object)
{
    Notification notification(name, object, {}, false);
    return post(notification);
}

bool NotificationCenter::post(const QString &name, const QVariant &object, const QVariantMap &userInfo)
{
    Notification notification(name, object, userInfo, true);
    return post(notification);
}

bool NotificationCenter::post(Notification &notification)
{
    struct DepthGuard
    {
        NotificationCenter &center;
        explicit DepthGuard(NotificationCenter &c)
            : center(c)
        {
            ++center.m_postDepth;
        }
        ~DepthGuard()
        {
            --center.m_postDepth;
            center.compactIfIdle();
        }
    } guard(*this);

    // Observers added from now on sit beyond this bound and wait for the next post.
    const std::size_t bound = m_entries.size();
    for (std::size_t index = 0; index < bound && !notification.isAbandoned(); ++index) {
        const Entry &entry = m_entries[index];
        if (entry.removed)
            continue;
        if (!entry.name.isEmpty() && entry.name != notification.name())
            continue;
        if (entry.object.isValid() && entry.object != notification.object())
            continue;
        const std::shared_ptr<const Handler> handler = entry.handler;
        (*handler)(notification);
    }
    return !notification.isAbandoned();
}

std::size_t NotificationCenter::observerCount() const
{
    return m_entries.size() - m_removedCount;
}

} // namespace brevona
