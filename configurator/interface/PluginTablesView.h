#pragma once

#include <QWidget>

namespace brevona {

class KCDisplayActionTables;
class PluginTableView;

// The display plugins and the action plugins, each in its table, beside the display and action
// page: drag one onto a key, or double-click it (or press Return) to put it on the selected keys.
class PluginTablesView : public QWidget
{
    Q_OBJECT
public:
    explicit PluginTablesView(QWidget *parent = nullptr);
    ~PluginTablesView() override;

    // Null while there is no catalogue: both tables are empty.
    void setTables(KCDisplayActionTables *tables);
    PluginTableView *displayTable() const { return m_display; }
    PluginTableView *actionTable() const { return m_action; }

private:
    PluginTableView *m_display = nullptr;
    PluginTableView *m_action = nullptr;
};

} // namespace brevona
