#pragma once

#include <memory>

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include "Result.h"

namespace brevona {

class ApplicationCatalog;
class FilesWatcher;
class KCLayerManager;

// A layer painted in an outside picture editor: the layer's keyboard template is written as
// "<layer>__<n>.tiff" into the user's private paint folder and opened with the editor; whenever a
// picture of that folder is saved again, it is cut back into its layer as one undoable edit. Every
// painting shares the folder, so saves to an earlier painting's file still come back.
//
// Editors write in steps: a folder is read only once it has been quiet for the settle time, and a
// picture that cannot be read whole yet is read again at the next change. A picture of the wrong
// size, or of a layer that is gone, is left alone with one log line.
//
// Main thread only.
class KCLayerPainter : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultSettleMilliseconds = 1000;

    // `folder` empty: the user's private "paint" working folder.
    KCLayerPainter(KCLayerManager &layers, ApplicationCatalog &catalog, QString folder = {},
                   QObject *parent = nullptr);
    ~KCLayerPainter() override;

    // The folder the pictures are painted in; empty when there is none (logged).
    QString folder() const { return m_folder; }
    // Removes the paintings an earlier run left behind: their layers may have changed since.
    void removeLeftovers();

    // Writes the layer's template and opens it with the application `editor` (an identifier of the
    // catalog). The file's path, or why nothing was started.
    Result<QString> paint(const QString &layerIdentifier, const QString &editor);

    void setSettleTime(int milliseconds) { m_settle.setInterval(milliseconds); }

    // Reads the folder now: what the settle timer does when the folder has been quiet.
    void pickUp();

Q_SIGNALS:
    // Keys of the layer changed from a saved picture (one undoable edit).
    void layerPainted(const QString &layerIdentifier);
    // A saved picture could not be taken; one line for the user.
    void paintingRefused(const QString &message);

private:
    KCLayerManager &m_layers;
    ApplicationCatalog &m_catalog;
    QString m_folder;
    std::unique_ptr<FilesWatcher> m_watcher;
    QTimer m_settle;
    int m_next = 0;
    // The modification time taken last, per file name.
    QHash<QString, QDateTime> m_taken;
};

} // namespace brevona
