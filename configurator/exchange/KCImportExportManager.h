#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include "LayerArchiveReader.h"
#include "LayersXml.h"
#include "Result.h"

namespace brevona {

class KCGroupLayer;
class KCLayer;
class KCLayerManager;
class KCSingleLayer;

// Moves layers and pictures in and out of the configurator without a window: layer archives
// (export and import), the keyboard template, the button set (one display file per key) and a
// whole-keyboard picture cut into a layer. The window and brevona-layers ask the questions (which
// file, which kind) and show the answers; everything that reaches the store goes through the layer
// manager as one undoable edit, so a failed or cancelled import leaves the store as it was.
//
// Archives come from anywhere: see LayerArchiveReader and LayersXml for what is refused. Every
// failure is one line (the Result's error), logged where it happens.
//
// Main thread only.
class KCImportExportManager
{
public:
    // Called with 0...100 while an export or import runs; false cancels it (nothing is written,
    // nothing is imported).
    using Progress = std::function<bool(int percent)>;

    struct Limits
    {
        LayerArchiveReader::Limits archive;
        LayersXml::Limits description;
        qint64 pictureBytes = 32LL * 1024 * 1024; // one picture file, inflated
    };

    struct ImportReport
    {
        QStringList groups; // identifiers of the new groups, in order
        int layers = 0;
        // One line for each thing that was skipped (a layer, a condition, unknown key names).
        QStringList notes;
    };

    static inline const QString ArchiveExtension = QStringLiteral("layers");
    static inline const QString NewGroupTitle = QStringLiteral("New Group");
    static inline const QString WrongFormatMessage = QStringLiteral("Wrong image format");
    static inline const QString WrongFormatInformative =
        QStringLiteral("It should be 1312 pixels wide, and 376 pixels high");

    explicit KCImportExportManager(KCLayerManager &layers);
    KCImportExportManager(KCLayerManager &layers, const Limits &limits);

    // Layer archives. `rows` are identifiers of the layer list; they are taken in row order, a
    // group standing for its layers. The file is `path` with its extension replaced by "layers";
    // its name is the result.
    Result<QString> exportLayers(const QStringList &rows, const QString &path, const Progress &progress = {});
    Result<ImportReport> importLayersFile(const QString &path, const Progress &progress = {});
    // The same for an archive already in memory (the fuzz target reads archives this way).
    Result<ImportReport> importLayersData(const QByteArray &archive, const Progress &progress = {});

    // Imported layers by their first application condition: one group per application (that
    // condition moved from the layers to the group), then one "New Group" for the layers without
    // one. No layer is lost.
    static std::vector<std::shared_ptr<KCGroupLayer>>
    groupLayersByApplication(const std::vector<std::shared_ptr<KCSingleLayer>> &layers);

    // The keyboard template: the keyboard drawing with the keys of `rows` on it, as LZW TIFF at
    // `path` with its extension replaced by "tiff"; its name is the result.
    Result<QString> exportTemplate(const QStringList &rows, const QString &path);
    QImage templateImageForLayer(KCLayer &layer);
    QImage templateImageForLayer(KCLayer &layer, const QString &modifierKey);

    // The button set: "%03d.sys" by display number, in folder `folder` (made when missing). The
    // number of files written is the result.
    Result<int> exportButtons(const QStringList &rows, const QString &folder, const Progress &progress = {});
    Result<int> saveOLEDImagesForLayer(KCLayer &layer, const QString &folder, const Progress &progress = {});
    // A key picture (composited over black, scaled to 48 x 48) in the button set's encoding.
    static QByteArray OLEDDataForImage(const QImage &picture);

    // With one row, that item; otherwise a layer outside the tree holding the keys of every row
    // (the lowest row wins a key). Nothing when no row names a layer.
    std::shared_ptr<KCLayer> currentCompoundLayer(const QStringList &rows);

    // A 1312 x 376 picture file cut into the layer `into` (a single layer of the user's), or, when
    // `into` is empty, into a new layer titled with the file's name. One undoable edit; the layer's
    // identifier is the result. A picture of another size fails with WrongFormatMessage.
    Result<QString> importPictureFile(const QString &path, const QString &into = QString());
    // `edit` names the undo step.
    Result<QString> importPicture(const QImage &picture, const QString &into, const QString &title,
                                  const QString &edit = QStringLiteral("Import Picture"));
    // The keys of an opaque layer picture that a layer takes: every key it has, and each key it
    // lacks whose picture inside its 1-pixel border is not black.
    static QStringList keysShownBy(const QImage &picture, const KCSingleLayer *layer);

    // `path` with its extension (if any) replaced.
    static QString pathWithExtension(const QString &path, const QString &extension);

private:
    Result<ImportReport> importFrom(LayerArchiveReader &archive, const Progress &progress);
    // Nothing when the layer is skipped (with a note), or when the archive is spoilt (`fatal` says why).
    std::shared_ptr<KCSingleLayer> importLayer(LayerArchiveReader &archive, const LayersXml::Layer &element,
                                               QStringList &notes, QStringList &unknownKeys, QString &fatal);
    // The single layers of `rows` in row order, each with the conditions it is exported with.
    struct Exported
    {
        std::shared_ptr<KCSingleLayer> layer;
        QVariantList conditions;
    };
    std::vector<Exported> exportedLayers(const QStringList &rows) const;
    QStringList inRowOrder(const QStringList &rows) const;
    // The picture a key shows in a template or a button set.
    static QImage keyPicture(KCLayer &layer, const QString &key, const QString &modifierKey);

    KCLayerManager &m_layers;
    Limits m_limits;
    QImage m_drawMask;
};

} // namespace brevona
