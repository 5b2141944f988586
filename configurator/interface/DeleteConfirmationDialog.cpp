#include "DeleteConfirmationDialog.h"

#include <QMessageBox>
#include <QPushButton>

namespace brevona {

bool DeleteConfirmationDialog::confirmDelete(const QString &message, const QString &informative)
{
    QMessageBox box(m_parent);
    box.setObjectName(ObjectName);
    box.setAccessibleName(message);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(message);
    box.setText(message);
    box.setInformativeText(informative);
    QPushButton *remove = box.addButton(QObject::tr("Delete"), QMessageBox::DestructiveRole);
    remove->setAccessibleName(QObject::tr("Delete"));
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    cancel->setAccessibleName(QObject::tr("Cancel"));
    box.setDefaultButton(remove);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == remove;
}

} // namespace brevona
