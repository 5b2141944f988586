#include "PaintUsingDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace brevona {

PaintUsingDialog::PaintUsingDialog(const QList<PreferencesController::MenuItem> &editors, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Paint Layer"));
    setAccessibleName(tr("Paint Layer"));
    auto *text = new QLabel(tr("Paint the layer with:"), this);
    m_editors = new QComboBox(this);
    m_editors->setAccessibleName(tr("Picture editor"));
    text->setBuddy(m_editors);
    for (const PreferencesController::MenuItem &item : editors) {
        if (item.separator) {
            m_editors->insertSeparator(m_editors->count());
            continue;
        }
        m_editors->addItem(QPixmap::fromImage(item.icon), item.title, item.value);
        if (!item.enabled) {
            if (auto *model = qobject_cast<QStandardItemModel *>(m_editors->model()))
                model->item(m_editors->count() - 1)->setEnabled(false);
        }
    }
    m_default = new QCheckBox(tr("&Use this editor every time"), this);
    m_default->setChecked(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(tr("&Paint"));
    m_ok->setEnabled(!editors.isEmpty() && editors.first().enabled && !editors.first().separator);
    m_editors->setEnabled(m_ok->isEnabled());
    m_default->setEnabled(m_ok->isEnabled());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_editors);
    layout->addWidget(m_default);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

QString PaintUsingDialog::editor() const
{
    return m_editors->currentData().toString();
}

bool PaintUsingDialog::makeDefault() const
{
    return m_default->isChecked();
}

} // namespace brevona
