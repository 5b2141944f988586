#include "PluginTablesView.h"

#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

#include "KCDisplayActionTables.h"
#include "PluginTableView.h"

namespace brevona {

namespace {

constexpr int MinimumWidth = 300;

} // namespace

PluginTablesView::PluginTablesView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("pluginTables"));
    setAccessibleName(tr("Plugins"));
    setMinimumWidth(MinimumWidth);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const auto table = [this, layout](KCDisplayActionTables::Side side, const QString &title,
                                      const QString &name, const QString &objectName) {
        auto *label = new QLabel(title, this);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        auto *view = new PluginTableView(side, this);
        view->setObjectName(objectName);
        view->setAccessibleName(name);
        view->setToolTip(tr("Drag a plugin onto a key, or double-click it to put it on the selected keys"));
        label->setBuddy(view);
        layout->addWidget(label);
        layout->addWidget(view, 1);
        return view;
    };
    m_display = table(KCDisplayActionTables::Side::Display, tr("&Display plugins"), tr("Display plugins"),
                      QStringLiteral("displayPluginsTable"));
    m_action = table(KCDisplayActionTables::Side::Action, tr("A&ction plugins"), tr("Action plugins"),
                     QStringLiteral("actionPluginsTable"));
}

PluginTablesView::~PluginTablesView() = default;

void PluginTablesView::setTables(KCDisplayActionTables *tables)
{
    m_display->setTables(tables);
    m_action->setTables(tables);
}

} // namespace brevona
