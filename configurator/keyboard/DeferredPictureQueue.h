#pragma once

#include <vector>

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>

namespace brevona {

class KeyboardGeometry;

// Pictures of keys that change often (plugins redrawing a clock, an animation) wait here and are
// drawn together: the first one starts a 0.2-second timer, later ones join the batch, and one
// invalidated area covers them unless a few keys lie far apart. During a mouse event no timer
// starts; the view flushes at its end.
class DeferredPictureQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr int DelayMs = 200;
    // Fewer keys than this may be invalidated one by one...
    static constexpr int FewKeys = 4;
    // ... when their summed distances from the first reach this many image pixels.
    static constexpr double FarApart = 600.0;
    // What a key's invalidated area adds around its outside rectangle, in image pixels.
    static constexpr int Margin = 5;

    struct Batch
    {
        std::vector<std::pair<QString, QImage>> pictures; // in the order they were first queued
        std::vector<QRect> areas;                         // image rectangles to invalidate
    };

    explicit DeferredPictureQueue(const KeyboardGeometry &geometry, QObject *parent = nullptr);

    // Queues a key's picture, replacing one queued before; a null picture takes the key out.
    // `inMouseEvent` holds the timer back.
    void enqueue(const QString &key, const QImage &picture, bool inMouseEvent);
    void remove(const QString &key);
    void clear();
    bool isEmpty() const { return m_pending.empty(); }
    bool isScheduled() const { return m_timer.isActive(); }
    // Empties the queue and stops the timer, handing out what waited.
    Batch take();

    // The image rectangles that invalidate the given keys on screen.
    static std::vector<QRect> invalidationAreas(const KeyboardGeometry &geometry, const QStringList &keys);

Q_SIGNALS:
    // The timer ran out: the view should take() the batch.
    void due();

private:
    const KeyboardGeometry &m_geometry;
    std::vector<std::pair<QString, QImage>> m_pending;
    QTimer m_timer;
};

} // namespace brevona
