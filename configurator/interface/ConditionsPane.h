#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace brevona {

class ConditionRowEditor;
class KCConditionsManager;

// The conditions table under the layer list: a header with the button that adds a condition,
// then one row per condition of the selected layer or group, or the editor's message. The pane is
// exactly as tall as its rows (at least one) and the header need; the list above takes the rest.
class ConditionsPane : public QWidget
{
    Q_OBJECT
public:
    explicit ConditionsPane(QWidget *parent = nullptr);
    ~ConditionsPane() override;

    // Null while the layer store is being replaced.
    void setManager(KCConditionsManager *conditions);
    QList<ConditionRowEditor *> rows() const { return m_rows; }
    QToolButton *addButton() const { return m_add; }
    // The height the rows and the header need.
    int neededHeight() const;

signals:
    // An edit did not go through: why.
    void editRefused(const QString &message);

private:
    void rebuild();
    void rebuildAddMenu();
    void report(int outcome);
    void flash();

    QPointer<KCConditionsManager> m_conditions;
    QWidget *m_header = nullptr;
    QToolButton *m_add = nullptr;
    int m_rowHeight = 0;
    QLabel *m_message = nullptr;
    QWidget *m_table = nullptr;
    QVBoxLayout *m_tableLayout = nullptr;
    QList<ConditionRowEditor *> m_rows;
};

} // namespace brevona
