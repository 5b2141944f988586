#include "KeySelection.h"

#include <cmath>
#include <limits>

#include "KeyboardGeometry.h"

namespace brevona {

namespace {

const QString kFallbackReference = QStringLiteral("H");

// Arrow steps weigh the sideways distance: a horizontal move counts vertical offsets three times,
// a vertical move counts horizontal offsets twice, so the next key in the same row or column wins.
constexpr double kHorizontalMoveRowWeight = 3.0;
constexpr double kVerticalMoveColumnWeight = 2.0;

} // namespace

KeySelection::KeySelection(const KeyboardGeometry &geometry, PictureLookup hasPicture)
    : m_geometry(geometry)
    , m_hasPicture(std::move(hasPicture))
{}

bool KeySelection::eligible(int key) const
{
    return m_canChangeButtons || m_hasPicture(key);
}

bool KeySelection::select(const QString &name, bool extend)
{
    if (m_geometry.indexOf(name) < 0)
        return false;
    if (!extend) {
        if (m_names == QStringList{name})
            return false;
        m_names = QStringList{name};
        return true;
    }
    if (m_names.contains(name))
        return false;
    m_names.append(name);
    return true;
}

bool KeySelection::deselectAll()
{
    if (m_names.isEmpty())
        return false;
    m_names.clear();
    return true;
}

bool KeySelection::toggle(const QString &name)
{
    if (m_geometry.indexOf(name) < 0)
        return false;
    if (!m_names.removeOne(name))
        m_names.append(name);
    return true;
}

bool KeySelection::selectAll()
{
    QStringList names;
    for (int key = 0; key < m_geometry.count(); ++key) {
        if (m_hasPicture(key))
            names.append(m_geometry.key(key).name);
    }
    // Keys already selected keep their place at the front, the order of selection.
    QStringList ordered;
    for (const QString &name : std::as_const(m_names)) {
        if (names.contains(name))
            ordered.append(name);
    }
    for (const QString &name : std::as_const(names)) {
        if (!ordered.contains(name))
            ordered.append(name);
    }
    if (ordered == m_names)
        return false;
    m_names = ordered;
    return true;
}

bool KeySelection::click(int key, bool toggle)
{
    if (key < 0 || key >= m_geometry.count())
        return false;
    if (!m_canChangeButtons && !m_hasPicture(key))
        return false;
    const QString &name = m_geometry.key(key).name;
    if (toggle)
        return this->toggle(name);
    // Clicking the only selected key keeps it; any other click selects that key alone.
    return select(name, false);
}

bool KeySelection::rubberBand(const QRectF &band, QPointF pointer)
{
    bool pictureSelected = false;
    for (const QString &name : std::as_const(m_names)) {
        const int key = m_geometry.indexOf(name);
        if (key >= 0 && m_hasPicture(key)) {
            pictureSelected = true;
            break;
        }
    }
    QStringList names = m_names;
    for (int key = 0; key < m_geometry.count(); ++key) {
        const QRectF outside(m_geometry.key(key).outside);
        const bool pictured = m_hasPicture(key);
        const bool inside = (m_canChangeButtons || pictured) && (!pictureSelected || pictured) &&
                            (outside.intersects(band) || outside.contains(pointer));
        const QString &name = m_geometry.key(key).name;
        if (inside && !names.contains(name))
            names.append(name);
        else if (!inside)
            names.removeOne(name);
    }
    if (names == m_names)
        return false;
    m_names = names;
    return true;
}

int KeySelection::arrowTarget(int reference, Step step) const
{
    if (reference < 0 || reference >= m_geometry.count())
        return -1;
    const QPointF origin = QRectF(m_geometry.key(reference).outside).center();
    const bool horizontal = step.dx != 0;
    int best = -1;
    double bestScore = std::numeric_limits<double>::infinity();
    for (int key = 0; key < m_geometry.count(); ++key) {
        if (key == reference || !eligible(key))
            continue;
        const QPointF offset = QRectF(m_geometry.key(key).outside).center() - origin;
        const double dx = offset.x();
        const double dy = offset.y(); // downwards: an "up" step has dy <= 0
        if ((step.dx < 0 && dx > 0) || (step.dx > 0 && dx < 0) || (step.dy < 0 && dy > 0) ||
            (step.dy > 0 && dy < 0))
            continue;
        if ((horizontal && dx == 0) || (!horizontal && dy == 0))
            continue;
        const double weightedX = horizontal ? dx : kVerticalMoveColumnWeight * dx;
        const double weightedY = horizontal ? kHorizontalMoveRowWeight * dy : dy;
        const double score = std::sqrt(weightedX * weightedX + weightedY * weightedY);
        if (score < bestScore) {
            bestScore = score;
            best = key;
        }
    }
    return best;
}

bool KeySelection::move(Step step, bool extend, const QString &lastDeleted)
{
    int reference = m_names.isEmpty() ? -1 : m_geometry.indexOf(m_names.last());
    if (reference < 0)
        reference = m_geometry.indexOf(lastDeleted);
    if (reference < 0)
        reference = m_geometry.indexOf(kFallbackReference);
    if (reference < 0 && !m_geometry.byDistanceFromCentre().empty())
        reference = m_geometry.byDistanceFromCentre().front();
    const int target = arrowTarget(reference, step);
    if (target < 0)
        return false;
    const QString &name = m_geometry.key(target).name;
    if (!extend) {
        m_names = QStringList{name};
        return true;
    }
    // Extending onto a key already selected makes it the last one, so the next step starts there.
    m_names.removeOne(name);
    m_names.append(name);
    return true;
}

int KeySelection::emptyKeyNearestToCentre() const
{
    for (int key : m_geometry.byDistanceFromCentre()) {
        if (!m_hasPicture(key))
            return key;
    }
    return -1;
}

} // namespace brevona
