#include "DeferredPictureQueue.h"

#include <algorithm>

#include <QLineF>

#include "KeyboardGeometry.h"

namespace brevona {

DeferredPictureQueue::DeferredPictureQueue(const KeyboardGeometry &geometry, QObject *parent)
    : QObject(parent)
    , m_geometry(geometry)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(DelayMs);
    connect(&m_timer, &QTimer::timeout, this, &DeferredPictureQueue::due);
}

void DeferredPictureQueue::enqueue(const QString &key, const QImage &picture, bool inMouseEvent)
{
    if (picture.isNull()) {
        remove(key);
        return;
    }
    const auto same = std::find_if(m_pending.begin(), m_pending.end(),
                                   [&](const auto &entry) { return entry.first == key; });
    if (same != m_pending.end())
        same->second = picture;
    else
        m_pending.emplace_back(key, picture);
    if (!m_timer.isActive() && !inMouseEvent)
        m_timer.start();
}

void DeferredPictureQueue::remove(const QString &key)
{
    std::erase_if(m_pending, [&](const auto &entry) { return entry.first == key; });
}

void DeferredPictureQueue::clear()
{
    m_pending.clear();
    m_timer.stop();
}

DeferredPictureQueue::Batch DeferredPictureQueue::take()
{
    m_timer.stop();
    Batch batch;
    QStringList keys;
    for (const auto &entry : m_pending)
        keys.append(entry.first);
    batch.areas = invalidationAreas(m_geometry, keys);
    batch.pictures = std::move(m_pending);
    m_pending.clear();
    return batch;
}

std::vector<QRect> DeferredPictureQueue::invalidationAreas(const KeyboardGeometry &geometry,
                                                           const QStringList &keys)
{
    std::vector<int> indexes;
    for (const QString &name : keys) {
        const int index = geometry.indexOf(name);
        if (index >= 0)
            indexes.push_back(index);
    }
    std::vector<QRect> areas;
    if (indexes.empty())
        return areas;
    const auto grown = [&](int key) {
        return geometry.key(key).outside.adjusted(-Margin, -Margin, Margin, Margin);
    };
    if (indexes.size() < static_cast<size_t>(FewKeys)) {
        const QPointF first = geometry.key(indexes.front()).inside.topLeft();
        double sum = 0;
        for (size_t i = 1; i < indexes.size(); ++i)
            sum += QLineF(first, geometry.key(indexes[i]).inside.topLeft()).length();
        if (sum >= FarApart) {
            for (int key : indexes)
                areas.push_back(grown(key));
            return areas;
        }
    }
    QRect united;
    for (int key : indexes)
        united = united.united(geometry.key(key).outside);
    areas.push_back(united.adjusted(-Margin, -Margin, Margin, Margin));
    return areas;
}

} // namespace brevona
