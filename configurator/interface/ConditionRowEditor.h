#pragma once

#include <QVariantMap>
#include <QWidget>

#include "KCConditionsManager.h"

class QHBoxLayout;
class QMenu;

namespace brevona {

// One row of the conditions table: the condition's controls when it may be edited (application
// and predicate, the modifier keys, the Caps Lock state, the language, the idle time), its text
// when not, and a button that deletes it. A control changed by the user gives the whole new
// "Settings" of the row; the table applies them and rebuilds its rows, so a row never changes
// its own condition.
class ConditionRowEditor : public QWidget
{
    Q_OBJECT
public:
    ConditionRowEditor(KCConditionsManager &conditions, int index, const KCConditionsManager::Row &row,
                       bool editable, QWidget *parent = nullptr);

    int index() const { return m_index; }

signals:
    void settingsChosen(int index, const QVariantMap &settings);
    void deleteRequested(int index);
    // Something the user chose could not be used (a file that describes no application).
    void refused(const QString &message);

private:
    void addApplicationControls(QHBoxLayout *layout);
    void addModifierControls(QHBoxLayout *layout);
    void addCapsLockControls(QHBoxLayout *layout);
    void addLanguageControls(QHBoxLayout *layout);
    void addIdleControls(QHBoxLayout *layout);
    QMenu *applicationsMenu();
    void browseApplication();
    void choose(const QVariantMap &settings);

    KCConditionsManager &m_conditions;
    int m_index;
    KCConditionsManager::Row m_row;
};

} // namespace brevona
