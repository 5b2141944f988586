#pragma once

#include <QPointer>

#include "KCLayerManager.h"

class QWidget;

namespace brevona {

// Asks before a delete with a modal alert over the window: "Delete" (the default) or "Cancel".
class DeleteConfirmationDialog : public DeleteConfirmation
{
public:
    static inline const QString ObjectName = QStringLiteral("confirmDelete");

    void setParentWidget(QWidget *parent) { m_parent = parent; }
    bool confirmDelete(const QString &message, const QString &informative) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace brevona
