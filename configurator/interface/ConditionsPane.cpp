#include "ConditionsPane.h"

#include <algorithm>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "ConditionRowEditor.h"
#include "KCConditionsManager.h"

namespace brevona {

namespace {

constexpr int FlashSteps = 4;
constexpr int FlashStepMs = 180;

} // namespace

ConditionsPane::ConditionsPane(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("conditionsPane"));
    setAccessibleName(tr("Conditions"));
    // The layer list decides the column's width: a wide row is cut rather than moving the divider
    // whenever the selection changes.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget(this);
    m_header = header;
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(4, 2, 2, 2);
    auto *title = new QLabel(QStringLiteral("<b>%1</b>").arg(tr("Conditions")), header);
    title->setAccessibleName(tr("Conditions"));
    headerLayout->addWidget(title, 1);
    m_add = new QToolButton(header);
    m_add->setObjectName(QStringLiteral("addCondition"));
    m_add->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    if (m_add->icon().isNull())
        m_add->setText(QStringLiteral("+"));
    m_add->setAccessibleName(tr("Add condition"));
    m_add->setToolTip(tr("Add a condition under which the selected layer or group shows"));
    m_add->setPopupMode(QToolButton::InstantPopup);
    m_add->setAutoRaise(true);
    m_add->setMenu(new QMenu(tr("Conditions"), m_add));
    m_add->menu()->setObjectName(QStringLiteral("conditionsMenu"));
    headerLayout->addWidget(m_add);
    layout->addWidget(header);

    m_table = new QWidget(this);
    m_table->setObjectName(QStringLiteral("conditionsTable"));
    m_table->setAccessibleName(tr("Conditions table"));
    m_table->setAutoFillBackground(true);
    m_table->setBackgroundRole(QPalette::Base);
    m_tableLayout = new QVBoxLayout(m_table);
    m_tableLayout->setContentsMargins(0, 0, 0, 0);
    m_tableLayout->setSpacing(1);
    m_message = new QLabel(m_table);
    m_message->setObjectName(QStringLiteral("conditionsMessage"));
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setForegroundRole(QPalette::PlaceholderText);
    m_tableLayout->addWidget(m_message);
    layout->addWidget(m_table);
    setManager(nullptr);
}

ConditionsPane::~ConditionsPane() = default;

void ConditionsPane::setManager(KCConditionsManager *conditions)
{
    if (m_conditions)
        disconnect(m_conditions, nullptr, this, nullptr);
    m_conditions = conditions;
    if (conditions) {
        // Queued: a row that asked for an edit is still on the stack when the rows change.
        connect(conditions, &KCConditionsManager::conditionsChanged, this, &ConditionsPane::rebuild,
                Qt::QueuedConnection);
        connect(conditions, &KCConditionsManager::flashTable, this, &ConditionsPane::flash,
                Qt::QueuedConnection);
    }
    rebuild();
}

int ConditionsPane::neededHeight() const
{
    const int rows = std::max<int>(1, int(m_rows.size()));
    return m_header->sizeHint().height() + rows * m_rowHeight + (rows - 1) * m_tableLayout->spacing();
}

void ConditionsPane::rebuild()
{
    for (ConditionRowEditor *row : std::as_const(m_rows)) {
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();

    // Every row as tall as the tallest control a row can hold.
    m_rowHeight = QComboBox().sizeHint().height() + 2;
    const int rowHeight = m_rowHeight;
    const QString message = m_conditions ? m_conditions->message() : tr("Nothing is selected");
    m_message->setText(message);
    m_message->setAccessibleName(message);
    m_message->setFixedHeight(rowHeight);
    const bool editable = m_conditions && m_conditions->allowEditConditions();
    const auto rows = m_conditions ? m_conditions->rows() : QList<KCConditionsManager::Row>();
    m_message->setVisible(rows.isEmpty());
    for (int i = 0; i < rows.size(); ++i) {
        auto *row = new ConditionRowEditor(*m_conditions, i, rows.at(i), editable, m_table);
        row->setFixedHeight(rowHeight);
        connect(row, &ConditionRowEditor::settingsChosen, this,
                [this](int index, const QVariantMap &settings) {
                    if (m_conditions)
                        report(int(m_conditions->changeCondition(index, settings)));
                });
        connect(row, &ConditionRowEditor::deleteRequested, this, [this](int index) {
            if (m_conditions)
                report(int(m_conditions->deleteCondition(index)));
        });
        connect(row, &ConditionRowEditor::refused, this, &ConditionsPane::editRefused);
        m_tableLayout->addWidget(row);
        row->show();
        m_rows.append(row);
    }
    rebuildAddMenu();
    m_add->setEnabled(editable);
    setFixedHeight(neededHeight());
}

void ConditionsPane::rebuildAddMenu()
{
    QMenu *menu = m_add->menu();
    menu->clear();
    if (!m_conditions)
        return;
    for (const KCConditionsManager::MenuEntry &entry : m_conditions->conditionsMenu()) {
        if (entry.role == KCConditionsManager::MenuEntry::Role::Separator) {
            menu->addSeparator();
            continue;
        }
        QAction *action =
            menu->addAction(QString(entry.indent * 2, QLatin1Char(' ')) + entry.title.trimmed());
        action->setData(entry.value);
        action->setEnabled(entry.enabled && entry.role == KCConditionsManager::MenuEntry::Role::Item);
        connect(action, &QAction::triggered, this, [this, type = entry.value] {
            if (m_conditions)
                report(int(m_conditions->addNewCondition(type)));
        });
    }
}

void ConditionsPane::report(int outcome)
{
    if (static_cast<KCConditionsManager::Outcome>(outcome) != KCConditionsManager::Outcome::Done &&
        m_conditions)
        emit editRefused(m_conditions->lastError());
}

void ConditionsPane::flash()
{
    // Draws the eye to the table after an item was made with a condition, as a selection does.
    auto *step = new QTimer(this);
    step->setInterval(FlashStepMs);
    connect(step, &QTimer::timeout, this, [this, step, count = 0]() mutable {
        ++count;
        m_table->setBackgroundRole(count % 2 ? QPalette::Highlight : QPalette::Base);
        if (count >= FlashSteps) {
            m_table->setBackgroundRole(QPalette::Base);
            step->deleteLater();
        }
    });
    step->start();
}

} // namespace brevona
