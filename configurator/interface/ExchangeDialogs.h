#pragma once

#include <QString>

class QWidget;

namespace brevona {

class KCLayerManager;

// The window's questions around import and export: which kind, which file, new or current layer,
// and a progress dialog with Cancel while an export or import takes longer than a moment. The
// work itself is KCImportExportManager's. Each operation returns the line for the status bar;
// failures are also shown in an alert.
class ExchangeDialogs
{
public:
    explicit ExchangeDialogs(QWidget *parent);

    QString exportLayers(KCLayerManager &manager);
    QString importLayers(KCLayerManager &manager);

private:
    QString alert(const QString &title, const QString &text);

    QWidget *m_parent;
};

} // namespace brevona
