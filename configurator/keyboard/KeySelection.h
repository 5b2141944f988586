#pragma once

#include <functional>
#include <optional>

#include <QPointF>
#include <QRectF>
#include <QStringList>

namespace brevona {

class KeyboardGeometry;

// The selected keys of the on-screen keyboard, in the order they were selected, and the rules by
// which clicks, the rubber band, select-all and the arrow keys change them. Every point and
// rectangle is in image coordinates (y downwards). The keys' pictures are asked through a lookup,
// since the view owns them.
class KeySelection
{
public:
    using PictureLookup = std::function<bool(int key)>;

    // An arrow key's step: (-1, 0) left, (1, 0) right, (0, -1) up, (0, 1) down.
    struct Step
    {
        int dx = 0;
        int dy = 0;
    };

    KeySelection(const KeyboardGeometry &geometry, PictureLookup hasPicture);

    // False for layers whose keys cannot be edited: only keys with a picture can then be chosen.
    void setCanChangeButtons(bool can) { m_canChangeButtons = can; }
    bool canChangeButtons() const { return m_canChangeButtons; }

    const QStringList &names() const { return m_names; }
    int size() const { return static_cast<int>(m_names.size()); }
    bool isSelected(const QString &name) const { return m_names.contains(name); }

    // Each returns whether the selection changed. Unknown names are ignored.
    bool select(const QString &name, bool extend);
    bool deselectAll();
    // Adds a key that is not selected, takes out one that is.
    bool toggle(const QString &name);
    // Exactly the keys that have a picture.
    bool selectAll();
    // A mouse-down on a key; `toggle` when Shift or Control is held.
    bool click(int key, bool toggle);
    // The rubber band from its start to `pointer`: keys whose outside rectangle meets the band or
    // holds the pointer join the selection, the others leave it. With a pictured key selected,
    // keys without a picture never count as inside.
    bool rubberBand(const QRectF &band, QPointF pointer);
    // Moves the cursor as an arrow key does from the last selected key (else `lastDeleted`, else
    // "H"); `extend` (Shift) keeps the selection. False when no key lies that way.
    bool move(Step step, bool extend, const QString &lastDeleted);
    // The key an arrow step leads to from `reference`; -1 for none.
    int arrowTarget(int reference, Step step) const;
    // The first key, nearest the keyboard's centre first, without a picture; -1 for none.
    int emptyKeyNearestToCentre() const;

private:
    bool eligible(int key) const;

    const KeyboardGeometry &m_geometry;
    PictureLookup m_hasPicture;
    QStringList m_names;
    bool m_canChangeButtons = true;
};

} // namespace brevona
