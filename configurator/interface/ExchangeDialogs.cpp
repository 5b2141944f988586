#include "ExchangeDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include "KCImportExportManager.h"
#include "KCLayer.h"
#include "KCLayerManager.h"
#include "KCSingleLayer.h"

namespace brevona {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ExchangeDialogs", text);
}

// Shown only when the work takes longer than a moment; Cancel stops it with nothing half written.
class Progress
{
public:
    Progress(QWidget *parent, const QString &label)
        : m_dialog(label, tr("Cancel"), 0, 100, parent)
    {
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(400);
        m_dialog.setAutoClose(false);
    }
    KCImportExportManager::Progress callback()
    {
        return [this](int percent) {
            m_dialog.setValue(percent);
            return !m_dialog.wasCanceled();
        };
    }

private:
    QProgressDialog m_dialog;
};

} // namespace

ExchangeDialogs::ExchangeDialogs(QWidget *parent)
    : m_parent(parent)
{}

QString ExchangeDialogs::alert(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, title, QMessageBox::Ok, m_parent);
    box.setInformativeText(text);
    box.exec();
    return text.isEmpty() ? title : text;
}

QString ExchangeDialogs::exportLayers(KCLayerManager &manager)
{
    const QStringList rows = manager.selection();
    if (rows.isEmpty())
        return tr("Select the layers to export");
    const QStringList kinds{tr("Layers"), tr("Keyboard Template"), tr("Buttons Set")};
    bool chosen = false;
    const QString kind =
        QInputDialog::getItem(m_parent, tr("Export"), tr("Export as:"), kinds, 0, false, &chosen);
    if (!chosen)
        return QString();
    const int index = static_cast<int>(kinds.indexOf(kind));
    const auto current = manager.currentLayer();
    QString proposed = index == 2 ? QStringLiteral("ButtonsSet") : QStringLiteral("KeyboardTemplate");
    if (rows.size() <= 1 && current && !current->title().isEmpty())
        proposed = current->title();
    const QString filter = index == 0   ? tr("Layer archives (*.layers)")
                           : index == 1 ? tr("TIFF pictures (*.tiff)")
                                        : tr("Folders (*)");
    const QString extension = index == 0   ? QStringLiteral(".layers")
                              : index == 1 ? QStringLiteral(".tiff")
                                           : QString();
    const QString path = QFileDialog::getSaveFileName(m_parent, tr("Export"),
                                                      QDir::home().filePath(proposed + extension), filter);
    if (path.isEmpty())
        return QString();

    KCImportExportManager exchange(manager);
    Progress progress(m_parent, tr("Exporting..."));
    if (index == 0) {
        const auto written = exchange.exportLayers(rows, path, progress.callback());
        return written ? tr("Exported to %1").arg(*written)
                       : alert(tr("The layers could not be exported"), written.error());
    }
    if (index == 1) {
        const auto written = exchange.exportTemplate(rows, path);
        return written ? tr("Exported to %1").arg(*written)
                       : alert(tr("The template could not be exported"), written.error());
    }
    const auto count = exchange.exportButtons(rows, path, progress.callback());
    return count ? tr("%1 key files written to %2").arg(*count).arg(path)
                 : alert(tr("The buttons set could not be exported"), count.error());
}

QString ExchangeDialogs::importLayers(KCLayerManager &manager)
{
    const QString path = QFileDialog::getOpenFileName(m_parent, tr("Import"), QString(),
                                                      tr("Layers and pictures (*.layers *.png *.PNG *.tiff "
                                                         "*.TIFF *.tif *.TIF *.psd *.PSD);;All files (*)"));
    if (path.isEmpty())
        return QString();
    KCImportExportManager exchange(manager);
    const QFileInfo file(path);
    if (file.suffix().compare(KCImportExportManager::ArchiveExtension, Qt::CaseInsensitive) == 0) {
        Progress progress(m_parent, tr("Importing..."));
        const auto report = exchange.importLayersFile(path, progress.callback());
        if (!report)
            return alert(tr("The layers could not be imported"), report.error());
        return report->notes.isEmpty() ? tr("%1 layers imported").arg(report->layers)
                                       : tr("%1 layers imported; %2")
                                             .arg(report->layers)
                                             .arg(report->notes.join(QStringLiteral("; ")));
    }
    // A new layer unless the user picks the current one, which only a single layer of theirs can be.
    QString into;
    const auto current = std::dynamic_pointer_cast<KCSingleLayer>(manager.currentLayer());
    if (current && manager.selection().size() == 1 && manager.relativePathForLayer(current.get())) {
        QMessageBox ask(QMessageBox::Question, tr("Import"), tr("Import the picture into a new layer?"),
                        QMessageBox::Cancel, m_parent);
        QPushButton *newLayer = ask.addButton(tr("New Layer"), QMessageBox::AcceptRole);
        QPushButton *currentLayer = ask.addButton(tr("Current Layer"), QMessageBox::ActionRole);
        ask.setDefaultButton(newLayer);
        ask.exec();
        if (ask.clickedButton() == currentLayer)
            into = current->UUID();
        else if (ask.clickedButton() != newLayer)
            return QString();
    }
    const auto layer = exchange.importPictureFile(path, into);
    if (!layer) {
        if (layer.error().startsWith(KCImportExportManager::WrongFormatMessage))
            return alert(KCImportExportManager::WrongFormatMessage,
                         KCImportExportManager::WrongFormatInformative);
        return alert(tr("The picture could not be imported"), layer.error());
    }
    return tr("%1 imported").arg(file.fileName());
}

} // namespace brevona
