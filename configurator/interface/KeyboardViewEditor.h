#pragma once

#include <functional>

#include <QPointer>
#include <QStringList>

#include "KCKeyboardViewDelegate.h"

namespace brevona {

class KCDisplayActionManager;

// What the keyboard view's clipboard, drags and drops do to the layer it shows, through the
// display and action manager: copy, cut, paste, drags of keys out and drops onto keys. A cut
// removes its keys only once their paste went through, so a cut that is never pasted loses
// nothing.
class KeyboardViewEditor : public KCKeyboardViewDelegate
{
public:
    KeyboardViewEditor();
    ~KeyboardViewEditor() override;

    // Null while the layer store is being replaced.
    void setManager(KCDisplayActionManager *manager);
    // Moves the keyboard's selection onto the keys a drop or paste changed (alone, or added).
    using Selector = std::function<void(const QStringList &keys, bool alone)>;
    void setSelector(Selector selector) { m_selector = std::move(selector); }
    // Why the last gesture did nothing; empty when it went through.
    QString lastError() const { return m_lastError; }

    bool putButtonsInClipboard(const QStringList &keys) override;
    bool cutButtons(const QStringList &keys) override;
    void deleteButtons(const QStringList &keys) override;
    std::unique_ptr<QMimeData> dragDataForButton(const QString &key) override;
    void pasteDataOnButton(const std::optional<QString> &key, const QMimeData &data,
                           std::optional<Qt::DropAction> operation) override;

private:
    QPointer<KCDisplayActionManager> m_manager;
    // The keys of the last cut, with the layer they are in and the clipboard data they went to.
    QString m_cutLayer;
    QStringList m_cutKeys;
    QByteArray m_cutData;
    QString m_lastError;
    Selector m_selector;
};

} // namespace brevona
