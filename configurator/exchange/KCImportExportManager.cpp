// Layer archives: export of the selected layers and import into new groups.
#include "KCImportExportManager.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMap>

#include "ConditionKeys.h"
#include "ExchangeLogging.h"
#include "KCConditionsManager.h"
#include "KCGroupLayer.h"
#include "KCLayerManager.h"
#include "KCSingleLayer.h"
#include "KeyboardData.h"
#include "LayerArchiveWriter.h"
#include "LayerPicture.h"

namespace brevona {

namespace ck = conditionkeys;

namespace {

constexpr int LzwCompression = 1; // what Qt's TIFF writer calls LZW

template<typename T> Result<T> failed(const QString &why)
{
    qCWarning(lcExchange).noquote() << why;
    return Result<T>::failure(why);
}

bool carryOn(const KCImportExportManager::Progress &progress, int done, int count)
{
    return !progress || progress(count > 0 ? 100 * done / count : 100);
}

// A picture file's bytes: 1312 x 376, LZW TIFF, no alpha (the keyboard shows none).
std::optional<QByteArray> tiffBytes(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(LzwCompression);
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32)))
        return std::nullopt;
    return bytes;
}

} // namespace

QString KCImportExportManager::pathWithExtension(const QString &path, const QString &extension)
{
    const QString suffix = QFileInfo(path).suffix();
    return (suffix.isEmpty() ? path : path.chopped(suffix.size() + 1)) + QLatin1Char('.') + extension;
}

KCImportExportManager::KCImportExportManager(KCLayerManager &layers)
    : KCImportExportManager(layers, Limits())
{}

KCImportExportManager::KCImportExportManager(KCLayerManager &layers, const Limits &limits)
    : m_layers(layers)
    , m_limits(limits)
{}

QStringList KCImportExportManager::inRowOrder(const QStringList &rows) const
{
    QStringList ordered;
    const auto root = m_layers.rootGroup();
    if (!root)
        return ordered;
    for (const auto &child : root->layers()) {
        if (rows.contains(child->UUID()))
            ordered.append(child->UUID());
        if (!child->isGroup())
            continue;
        for (const auto &inner : static_cast<const KCGroupLayer &>(*child).layers()) {
            if (rows.contains(inner->UUID()))
                ordered.append(inner->UUID());
        }
    }
    return ordered;
}

std::vector<KCImportExportManager::Exported>
KCImportExportManager::exportedLayers(const QStringList &rows) const
{
    std::vector<Exported> exported;
    for (const QString &row : inRowOrder(rows)) {
        const auto item = m_layers.findLayerByID(row);
        if (!item || item->staticLayer())
            continue;
        if (auto single = std::dynamic_pointer_cast<KCSingleLayer>(item)) {
            exported.push_back({single, single->conditions()});
            continue;
        }
        const auto group = std::dynamic_pointer_cast<KCGroupLayer>(item);
        if (!group)
            continue;
        // The group's conditions go first, each put at the front in turn: they end reversed.
        QVariantList inherited;
        for (const QVariant &condition : group->conditions())
            inherited.prepend(condition);
        for (const auto &child : group->layers()) {
            if (auto single = std::dynamic_pointer_cast<KCSingleLayer>(child))
                exported.push_back({single, inherited + single->conditions()});
        }
    }
    return exported;
}

Result<QString> KCImportExportManager::exportLayers(const QStringList &rows, const QString &path,
                                                    const Progress &progress)
{
    const std::vector<Exported> exported = exportedLayers(rows);
    if (exported.empty())
        return failed<QString>(QStringLiteral("There is no layer of the user's to export"));
    const QString file = pathWithExtension(path, ArchiveExtension);
    LayerArchiveWriter archive;
    QList<LayersXml::Layer> elements;
    int layerImageNumber = 0;
    for (const Exported &entry : exported) {
        if (!carryOn(progress, layerImageNumber, static_cast<int>(exported.size())))
            return failed<QString>(QStringLiteral("The export was cancelled; nothing was written"));
        KCSingleLayer &layer = *entry.layer;
        LayersXml::Layer element;
        element.name = layer.title();
        element.image = QString::asprintf("%03d.tiff", layerImageNumber++);
        for (const QVariant &condition : entry.conditions)
            element.conditions.append(LayersXml::xmlElementForCondition(condition.toMap()));
        element.buttons = layer.buttonNames();
        // Cuts a stored picture that was never shown, so that its keys are exported as stored.
        layer.ensureImageRestored();
        const std::optional<QImage> picture = layer.layerImage();
        const auto bytes = tiffBytes(picture ? *picture : LayerPicture::blackLayer());
        if (!bytes)
            return failed<QString>(QStringLiteral("The picture of %1 cannot be written").arg(layer.UUID()));
        archive.add(element.image, *bytes);
        elements.append(element);
    }
    archive.add(LayersXml::FileName, LayersXml::write(elements));
    const Result<bool> written = archive.write(file);
    if (!written)
        return failed<QString>(written.error());
    if (progress)
        progress(100);
    return file;
}

Result<KCImportExportManager::ImportReport> KCImportExportManager::importLayersFile(const QString &path,
                                                                                    const Progress &progress)
{
    auto archive = LayerArchiveReader::open(path, m_limits.archive);
    if (!archive)
        return failed<ImportReport>(archive.error());
    auto report = importFrom(**archive, progress);
    if (!report)
        return Result<ImportReport>::failure(
            QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(), report.error()));
    return report;
}

Result<KCImportExportManager::ImportReport> KCImportExportManager::importLayersData(const QByteArray &bytes,
                                                                                    const Progress &progress)
{
    auto archive = LayerArchiveReader::fromData(bytes, m_limits.archive);
    if (!archive)
        return failed<ImportReport>(archive.error());
    return importFrom(**archive, progress);
}

Result<KCImportExportManager::ImportReport> KCImportExportManager::importFrom(LayerArchiveReader &archive,
                                                                              const Progress &progress)
{
    if (!archive.contains(LayersXml::FileName))
        return failed<ImportReport>(QStringLiteral("the archive holds no %1").arg(LayersXml::FileName));
    const Result<QByteArray> document = archive.read(LayersXml::FileName, m_limits.description.bytes);
    if (!document)
        return failed<ImportReport>(document.error());
    const Result<QList<LayersXml::Layer>> elements = LayersXml::read(*document, m_limits.description);
    if (!elements)
        return failed<ImportReport>(elements.error());

    ImportReport report;
    QStringList unknownKeys;
    std::vector<std::shared_ptr<KCSingleLayer>> layers;
    const int count = static_cast<int>(elements->size());
    for (int index = 0; index < count; ++index) {
        if (!carryOn(progress, index, count))
            return failed<ImportReport>(QStringLiteral("The import was cancelled; nothing was imported"));
        QString fatal;
        auto layer = importLayer(archive, elements->at(index), report.notes, unknownKeys, fatal);
        if (!fatal.isEmpty())
            return failed<ImportReport>(fatal);
        if (layer)
            layers.push_back(std::move(layer));
    }
    if (!unknownKeys.isEmpty()) {
        unknownKeys.removeDuplicates();
        report.notes.append(QStringLiteral("%1 unknown key names skipped: %2")
                                .arg(unknownKeys.size())
                                .arg(unknownKeys.mid(0, 10).join(QStringLiteral(", ")) +
                                     (unknownKeys.size() > 10 ? QStringLiteral(", ...") : QString())));
        qCInfo(lcExchange).noquote() << report.notes.last();
    }
    if (layers.empty())
        return failed<ImportReport>(QStringLiteral("the archive holds no layer that can be imported"));

    const auto groups = groupLayersByApplication(layers);
    if (m_layers.addNewGroups(groups, QStringLiteral("Import Layers")) != KCLayerManager::Outcome::Done)
        return failed<ImportReport>(m_layers.lastError());
    for (const auto &group : groups)
        report.groups.append(group->UUID());
    report.layers = static_cast<int>(layers.size());
    if (progress)
        progress(100);
    return report;
}

std::shared_ptr<KCSingleLayer> KCImportExportManager::importLayer(LayerArchiveReader &archive,
                                                                  const LayersXml::Layer &element,
                                                                  QStringList &notes,
                                                                  QStringList &unknownKeys, QString &fatal)
{
    const auto skip = [&](const QString &why) {
        notes.append(QStringLiteral("Layer \"%1\" skipped: %2").arg(element.name, why));
        qCInfo(lcExchange).noquote() << notes.last();
        return nullptr;
    };
    if (element.image.isEmpty() || !archive.contains(element.image))
        return skip(QStringLiteral("its picture \"%1\" is not in the archive").arg(element.image));
    // An entry that is damaged, encrypted or inflates past the limits spoils the whole archive.
    const Result<QByteArray> bytes = archive.read(element.image, m_limits.pictureBytes);
    if (!bytes) {
        fatal = bytes.error();
        return nullptr;
    }
    QBuffer buffer;
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The size comes from the header: nothing is decoded for a picture of the wrong size.
    const QSize size = reader.size();
    if (size != QSize(LayerPicture::Width, LayerPicture::Height))
        return skip(
            QStringLiteral("its picture is not %1 x %2").arg(LayerPicture::Width).arg(LayerPicture::Height));
    const QImage decoded = reader.read();
    if (decoded.size() != QSize(LayerPicture::Width, LayerPicture::Height))
        return skip(QStringLiteral("its picture cannot be read (%1)").arg(reader.errorString()));
    const QImage picture = LayerPicture::opaque(decoded);

    auto layer = KCSingleLayer::create();
    layer->setTitle(element.name);
    const QStringList shown = keysShownBy(picture, layer.get());
    for (const QString &name : element.buttons) {
        const auto location = LayerPicture::location(name);
        if (!location) {
            unknownKeys.append(name);
            continue;
        }
        layer->createButton(name);
        // A listed key the picture does not show is a black key.
        layer->setImage(
            shown.contains(name) ? LayerPicture::cut(picture, *location) : LayerPicture::blackKey(), name);
    }
    QVariantList conditions;
    for (const LayersXml::Condition &condition : element.conditions) {
        const Result<QVariantMap> record = LayersXml::parseCondition(condition);
        QString problem = record ? QString() : record.error();
        if (record) {
            const QVariantMap settings = record->value(ck::Settings).toMap();
            problem = KCConditionsManager::settingsProblem(
                KCConditionsManager::kindForType(record->value(ck::Type).toString()), settings);
        }
        if (record && problem.isEmpty()) {
            conditions.append(*record);
        } else if (!problem.isEmpty()) {
            notes.append(QStringLiteral("Layer \"%1\": a condition skipped: %2").arg(element.name, problem));
            qCInfo(lcExchange).noquote() << notes.last();
        }
    }
    if (!conditions.isEmpty())
        layer->setConditions(conditions);
    return layer;
}

std::vector<std::shared_ptr<KCGroupLayer>>
KCImportExportManager::groupLayersByApplication(const std::vector<std::shared_ptr<KCSingleLayer>> &layers)
{
    QStringList applications;
    QMap<QString, std::vector<std::shared_ptr<KCSingleLayer>>> byApplication;
    std::vector<std::shared_ptr<KCSingleLayer>> others;
    for (const auto &layer : layers) {
        QVariantList conditions = layer->conditions();
        std::optional<QString> application;
        for (qsizetype i = 0; i < conditions.size(); ++i) {
            const QVariantMap record = conditions.at(i).toMap();
            if (record.value(ck::Type).toString() == ck::ApplicationType) {
                application = record.value(ck::Settings).toMap().value(ck::Application).toString();
                conditions.removeAt(i);
                break;
            }
        }
        if (!application) {
            others.push_back(layer);
            continue;
        }
        layer->setConditions(conditions);
        if (!byApplication.contains(*application))
            applications.append(*application);
        byApplication[*application].push_back(layer);
    }
    std::vector<std::shared_ptr<KCGroupLayer>> groups;
    const auto makeGroup = [&groups](const std::vector<std::shared_ptr<KCSingleLayer>> &members) {
        auto group = std::make_shared<KCGroupLayer>();
        group->setExpanded(true);
        for (const auto &member : members)
            group->addLayer(member);
        groups.push_back(group);
        return group;
    };
    for (const QString &application : applications) {
        const auto group = makeGroup(byApplication.value(application));
        group->setConditions({QVariantMap{
            {ck::Type, ck::ApplicationType},
            {ck::Settings, QVariantMap{{ck::Application, application}, {ck::Predicate, ck::IsActive}}}}});
    }
    // Layers without an application condition stay together in one group of their own.
    if (!others.empty())
        makeGroup(others)->setTitle(NewGroupTitle);
    return groups;
}

} // namespace brevona
