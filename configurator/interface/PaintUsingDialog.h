#pragma once

#include <QDialog>
#include <QList>

#include "PreferencesController.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace brevona {

// Asks which picture editor paints the layer, when the preferences name none that is installed:
// the editors of the preferences' paint menu, and whether to use the one chosen every time
// (checked at first). OK is offered only when an editor was found.
class PaintUsingDialog : public QDialog
{
    Q_OBJECT
public:
    // `editors`: the paint menu without its "Always Ask Me" and separator.
    PaintUsingDialog(const QList<PreferencesController::MenuItem> &editors, QWidget *parent = nullptr);

    // The chosen editor's identifier.
    QString editor() const;
    bool makeDefault() const;

    QComboBox *editorMenu() const { return m_editors; }
    QCheckBox *defaultBox() const { return m_default; }
    QPushButton *okButton() const { return m_ok; }

private:
    QComboBox *m_editors = nullptr;
    QCheckBox *m_default = nullptr;
    QPushButton *m_ok = nullptr;
};

} // namespace brevona
