#include "KCLayerPainter.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QUndoStack>

#include "ApplicationCatalog.h"
#include "ExchangeLogging.h"
#include "FilesWatcher.h"
#include "KCImportExportManager.h"
#include "KCLayerManager.h"
#include "KCSingleLayer.h"
#include "LayerPicture.h"
#include "Paths.h"

namespace brevona {

namespace {

const QString kSeparator = QStringLiteral("__");
const QString PaintEdit = QStringLiteral("Paint Layer");

} // namespace

KCLayerPainter::KCLayerPainter(KCLayerManager &layers, ApplicationCatalog &catalog, QString folder,
                               QObject *parent)
    : QObject(parent)
    , m_layers(layers)
    , m_catalog(catalog)
    , m_folder(std::move(folder))
{
    if (m_folder.isEmpty()) {
        if (const auto privateFolder = Paths::privateWorkingFolder(QStringLiteral("paint")))
            m_folder = *privateFolder;
        else
            qCWarning(lcExchange, "No private folder to paint layers in");
    }
    m_settle.setSingleShot(true);
    m_settle.setInterval(DefaultSettleMilliseconds);
    connect(&m_settle, &QTimer::timeout, this, &KCLayerPainter::pickUp);
}

KCLayerPainter::~KCLayerPainter() = default;

void KCLayerPainter::removeLeftovers()
{
    if (m_folder.isEmpty())
        return;
    QDir folder(m_folder);
    for (const QString &name : folder.entryList({QStringLiteral("*.tiff")}, QDir::Files | QDir::Hidden))
        folder.remove(name);
    m_taken.clear();
}

Result<QString> KCLayerPainter::paint(const QString &layerIdentifier, const QString &editor)
{
    const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(m_layers.findLayerByID(layerIdentifier));
    if (!layer || !m_layers.relativePathForLayer(layer.get()))
        return Result<QString>::failure(QStringLiteral("Only a layer of your own can be painted"));
    const auto application = m_catalog.application(editor);
    if (!application)
        return Result<QString>::failure(QStringLiteral("The picture editor %1 is not installed").arg(editor));
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        return Result<QString>::failure(QStringLiteral("No private folder to paint layers in"));

    // A new watcher for each painting, as the folder may have been removed and made again since.
    m_watcher = std::make_unique<FilesWatcher>();
    connect(m_watcher.get(), &FilesWatcher::pathWasModified, this, [this] { m_settle.start(); });

    const QString path =
        QDir(m_folder).filePath(QStringLiteral("%1%2%3.tiff").arg(layerIdentifier, kSeparator).arg(m_next++));
    const Result<QString> written = KCImportExportManager(m_layers).exportTemplate({layerIdentifier}, path);
    if (!written)
        return written;
    // Our own writing is not the editor's.
    m_taken.insert(QFileInfo(path).fileName(), QFileInfo(path).lastModified());
    if (!m_watcher->isValid() || !m_watcher->addPath(m_folder))
        qCWarning(lcExchange, "The paint folder cannot be watched; saved pictures will not come back");
    if (!m_catalog.openFiles(*application, {path}))
        return Result<QString>::failure(QStringLiteral("%1 could not be started").arg(application->name));
    return path;
}

void KCLayerPainter::pickUp()
{
    m_settle.stop();
    const QDir folder(m_folder);
    const QFileInfoList files = folder.entryInfoList({QStringLiteral("*.tiff")}, QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        const QDateTime modified = file.lastModified();
        const auto seen = m_taken.constFind(file.fileName());
        if (seen != m_taken.constEnd() && *seen >= modified)
            continue;
        const QString layer = file.fileName().section(kSeparator, 0, 0);
        QImageReader reader(file.filePath());
        if (reader.size() != QSize(LayerPicture::Width, LayerPicture::Height)) {
            // An editor that is still writing may not have the header out yet: asked again at
            // the next change; the size is what a finished picture is judged by.
            if (reader.size().isValid()) {
                m_taken.insert(file.fileName(), modified);
                qCWarning(lcExchange, "%s is not 1312 x 376 pixels; left alone", qPrintable(file.fileName()));
                Q_EMIT paintingRefused(
                    QStringLiteral("%1: %2").arg(KCImportExportManager::WrongFormatMessage,
                                                 KCImportExportManager::WrongFormatInformative));
            }
            continue;
        }
        const QImage picture = reader.read();
        if (picture.isNull())
            continue; // not whole yet
        m_taken.insert(file.fileName(), modified);
        if (!std::dynamic_pointer_cast<KCSingleLayer>(m_layers.findLayerByID(layer))) {
            qCWarning(lcExchange, "%s belongs to no layer; left alone", qPrintable(file.fileName()));
            continue;
        }
        // A save that changed no key makes no edit; the stack moves only for one that did.
        bool edited = false;
        const QMetaObject::Connection watch =
            connect(m_layers.undoStack(), &QUndoStack::indexChanged, this, [&edited] { edited = true; });
        const QStringList selection = m_layers.selection();
        KCImportExportManager exchange(m_layers);
        const Result<QString> taken = exchange.importPicture(picture, layer, QString(), PaintEdit);
        disconnect(watch);
        if (!taken) {
            Q_EMIT paintingRefused(taken.error());
            continue;
        }
        if (edited)
            Q_EMIT layerPainted(layer);
        else
            m_layers.setSelection(selection);
    }
}

} // namespace brevona
