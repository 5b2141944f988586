#pragma once

#include <memory>
#include <optional>

#include <QString>
#include <QStringList>
#include <Qt>

class QMimeData;

namespace brevona {

// What the keyboard view asks of the editor behind it: the keys' clipboard, their deletion, the
// data a dragged key carries, and what a paste or a drop puts on a key. The view decides where
// and whether; the delegate changes the layer, writes the store and tells the driver.
class KCKeyboardViewDelegate
{
public:
    virtual ~KCKeyboardViewDelegate() = default;

    // Puts the keys on the clipboard ("application/x-brevona-keyboard-buttons"); false when it
    // could not.
    virtual bool putButtonsInClipboard(const QStringList &keys) = 0;
    virtual void deleteButtons(const QStringList &keys) = 0;
    // Cut: the keys go to the clipboard and are removed (an editor may wait for their paste);
    // false when they did not reach the clipboard.
    virtual bool cutButtons(const QStringList &keys)
    {
        if (!putButtonsInClipboard(keys))
            return false;
        deleteButtons(keys);
        return true;
    }
    // What dragging a key out of the view carries ("application/x-brevona-keyboard-button-drag");
    // nothing when the key cannot be dragged.
    virtual std::unique_ptr<QMimeData> dragDataForButton(const QString &key) = 0;
    // A paste (no operation) or a drop (its operation) onto a key; nothing as key pastes onto the
    // keys the data names.
    virtual void pasteDataOnButton(const std::optional<QString> &key, const QMimeData &data,
                                   std::optional<Qt::DropAction> operation) = 0;
};

} // namespace brevona
