#include "KeyboardGeometry.h"

#include <algorithm>
#include <numeric>

#include <QDir>

#include "KeyboardData.h"
#include "KeyboardLogging.h"
#include "Paths.h"
#include "PropertyList.h"
#include "ResourceFiles.h"

namespace brevona {

namespace {

const QString kButtonsSize = QStringLiteral("ButtonsSize");
const QString kVisualDelta = QStringLiteral("VisualDelta");
const QString kLocations = QStringLiteral("ButtonsLocations");
const QString kAreas = QStringLiteral("ButtonsNonStandardAreas");
const QString kCentreKey = QStringLiteral("G");

qint64 squaredDistance(QPoint a, QPoint b)
{
    const qint64 dx = a.x() - b.x();
    const qint64 dy = a.y() - b.y();
    return dx * dx + dy * dy;
}

} // namespace

KeyboardGeometry KeyboardGeometry::load(const QString &path, QSize imageSize)
{
    const auto resource = PropertyList::readDictionary(path);
    if (!resource) {
        qCWarning(lcKeyboard, "Keyboard geometry %s cannot be read; the keyboard shows no keys",
                  qUtf8Printable(path));
        KeyboardGeometry empty;
        empty.m_imageSize = imageSize;
        return empty;
    }
    return fromDictionary(*resource, imageSize);
}

KeyboardGeometry KeyboardGeometry::loadInstalled(QSize imageSize)
{
    return load(QDir(Paths::resourceFolder()).filePath(resourcefiles::Geometry), imageSize);
}

QRect KeyboardGeometry::fromBottomUp(const QRect &bottomUp, int imageHeight)
{
    return QRect(bottomUp.x(), imageHeight - bottomUp.y() - bottomUp.height(), bottomUp.width(),
                 bottomUp.height());
}

KeyboardGeometry KeyboardGeometry::fromDictionary(const QVariantMap &resource, QSize imageSize)
{
    KeyboardGeometry geometry;
    geometry.m_imageSize = imageSize;
    const int height = imageSize.height();
    const auto size = KeyboardData::parseSize(resource.value(kButtonsSize).toString());
    const auto delta = KeyboardData::parsePoint(resource.value(kVisualDelta).toString());
    const QVariantMap locations = resource.value(kLocations).toMap();
    if (!size || size->isEmpty() || locations.isEmpty()) {
        qCWarning(lcKeyboard, "Keyboard geometry lacks \"ButtonsSize\" or \"ButtonsLocations\"; the "
                              "keyboard shows no keys");
        return geometry;
    }
    const QPoint shift = delta.value_or(QPoint());
    const QVariantMap areas = resource.value(kAreas).toMap();
    for (auto it = locations.cbegin(); it != locations.cend(); ++it) {
        const auto location = KeyboardData::parsePoint(it.value().toString());
        if (!location) {
            qCWarning(lcKeyboard, "Keyboard geometry: key %s has no readable location; it is left out",
                      qUtf8Printable(it.key()));
            continue;
        }
        Key key;
        key.name = it.key();
        // The resource measures from the top; its rectangles are bottom-up with the delta added.
        const QRect inside(location->x() + shift.x(), height - location->y() - size->height() + shift.y(),
                           size->width(), size->height());
        key.inside = fromBottomUp(inside, height);
        key.outside = key.inside;
        if (areas.contains(key.name)) {
            if (const auto area = KeyboardData::parseRect(areas.value(key.name).toString())) {
                const QRect outside(area->x() + shift.x(), height - area->y() - area->height() + shift.y(),
                                    area->width(), area->height());
                key.outside = fromBottomUp(outside, height);
            } else {
                qCWarning(lcKeyboard,
                          "Keyboard geometry: the outline of key %s cannot be read; its "
                          "picture area stands for it",
                          qUtf8Printable(key.name));
            }
        }
        geometry.m_byName.insert(key.name, static_cast<int>(geometry.m_keys.size()));
        geometry.m_keys.push_back(std::move(key));
    }
    geometry.sortByDistance();
    return geometry;
}

void KeyboardGeometry::sortByDistance()
{
    const int centreKey = indexOf(kCentreKey);
    if (centreKey < 0 && !m_keys.empty())
        qCWarning(lcKeyboard, "Keyboard geometry has no key \"G\"; keys are ordered from the "
                              "keyboard's centre instead");
    const QPoint centre =
        centreKey >= 0 ? key(centreKey).inside.center() : QRect(QPoint(), m_imageSize).center();
    m_byDistance.resize(m_keys.size());
    std::iota(m_byDistance.begin(), m_byDistance.end(), 0);
    std::stable_sort(m_byDistance.begin(), m_byDistance.end(), [&](int a, int b) {
        return squaredDistance(key(a).inside.center(), centre) <
               squaredDistance(key(b).inside.center(), centre);
    });
}

int KeyboardGeometry::keyAt(QPointF imagePoint) const
{
    for (int i = 0; i < count(); ++i) {
        if (QRectF(m_keys[static_cast<size_t>(i)].outside).contains(imagePoint))
            return i;
    }
    return -1;
}

} // namespace brevona
