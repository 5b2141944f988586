#pragma once

#include <vector>

#include <QHash>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace brevona {

// The keys of the on-screen keyboard as the geometry resource ("LumivoxBrevonaType") places them
// on the background image. Every rectangle here is in background-image pixels with y downwards,
// as QImage and QPainter count; the resource's own bottom-up convention is translated in
// fromBottomUp() and nowhere else.
class KeyboardGeometry
{
public:
    struct Key
    {
        QString name;
        QRect inside;  // where the key's picture goes
        QRect outside; // the whole key: hit-testing, outlines, shadows
    };

    // A keyboard without keys.
    KeyboardGeometry() = default;
    // Reads the resource file; a missing or malformed file gives a keyboard without keys (logged).
    static KeyboardGeometry load(const QString &path, QSize imageSize);
    // The geometry of this installation's keyboard data set.
    static KeyboardGeometry loadInstalled(QSize imageSize);
    // From the resource's dictionary; entries that cannot be read are left out (logged).
    static KeyboardGeometry fromDictionary(const QVariantMap &resource, QSize imageSize);

    // A rectangle of the resource's bottom-up space (origin at the bottom left of an image of
    // `imageHeight`) in the y-downwards space of the image.
    static QRect fromBottomUp(const QRect &bottomUp, int imageHeight);

    QSize imageSize() const { return m_imageSize; }
    bool isEmpty() const { return m_keys.empty(); }
    int count() const { return static_cast<int>(m_keys.size()); }
    // In the order of the keys' names; an index is stable for the geometry's lifetime.
    const std::vector<Key> &keys() const { return m_keys; }
    const Key &key(int index) const { return m_keys[static_cast<size_t>(index)]; }
    // -1 for a name that is not a key.
    int indexOf(const QString &name) const { return m_byName.value(name, -1); }
    // The indexes of all keys, nearest to the centre of key "G" first (the image's centre when the
    // keyboard has no "G").
    const std::vector<int> &byDistanceFromCentre() const { return m_byDistance; }
    // The key whose outside rectangle holds an image point; -1 for none.
    int keyAt(QPointF imagePoint) const;

private:
    void sortByDistance();

    QSize m_imageSize;
    std::vector<Key> m_keys;
    QHash<QString, int> m_byName;
    std::vector<int> m_byDistance;
};

} // namespace brevona
