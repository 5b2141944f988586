// The store's files: reading the tree, the property dictionaries, and the built-in "Defaults" tree.
#include "KCLayerManager.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include "ConditionKeys.h"
#include "KCGroupLayer.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "KCSingleLayer.h"
#include "LanguagesHelper.h"
#include "LayerPicture.h"
#include "LayerStoreCodec.h"
#include "PropertyList.h"
#include "StoreJournal.h"
#include "StoreLogging.h"
#include "StoreNames.h"
#include "StoreWriter.h"

namespace brevona {

namespace {

const QString kItemOrder = QStringLiteral("ItemOrder");
const QString &kDisplayName = storenames::DisplayName;
const QString kDisabled = QStringLiteral("Disabled");
const QString kConditions = QStringLiteral("Conditions");
const QString kExpanded = QStringLiteral("Expanded");
const QString kHybrid = QStringLiteral("Hybrid");
const QString kButtons = QStringLiteral("Buttons");

// The modifier combinations of the language layers, in the order they are stored.
const QStringList kModifierNames = {QStringLiteral("Caps"),     QStringLiteral("ShiftCaps"),
                                    QStringLiteral("OptCaps"),  QStringLiteral("ShiftOptCaps"),
                                    QStringLiteral("Shift"),    QStringLiteral("Opt"),
                                    QStringLiteral("ShiftOpt"), QStringLiteral("None")};

// A value of the expected type, else the fallback with one log line naming the file and key.
QVariant typed(const QVariantMap &info, const QString &key, QMetaType::Type type, const QVariant &fallback,
               const QString &file)
{
    const auto found = info.constFind(key);
    if (found == info.constEnd())
        return fallback;
    if (found->typeId() != type) {
        qCWarning(lcStore, "%s: \"%s\" has the wrong type; ignored", qUtf8Printable(file),
                  qUtf8Printable(key));
        return fallback;
    }
    return *found;
}

QString languageFolder(int identifier)
{
    return QStringLiteral("Language%1").arg(identifier);
}

QVariantList languageLayerConditions(const QString &modifier)
{
    if (modifier == QLatin1String("None"))
        return {};
    QStringList keys;
    if (modifier.contains(QLatin1String("Shift")))
        keys.append(QStringLiteral("Shift"));
    if (modifier.contains(QLatin1String("Opt")))
        keys.append(QStringLiteral("Option"));
    QVariantList conditions{QVariantMap{
        {conditionkeys::Type, conditionkeys::ModifierType},
        {conditionkeys::Settings, QVariantMap{{conditionkeys::Keys, keys.join(QLatin1Char('|'))}}}}};
    if (modifier.contains(QLatin1String("Caps")))
        conditions.append(QVariantMap{{conditionkeys::Type, conditionkeys::CapsLockType},
                                      {conditionkeys::Settings, QVariantMap{{conditionkeys::State, true}}}});
    return conditions;
}

QVariantMap emptyEntries(const QStringList &keys)
{
    QVariantMap buttons;
    for (const QString &key : keys)
        buttons.insert(key, QVariantMap());
    return buttons;
}

} // namespace

std::shared_ptr<KCGroupLayer> KCLayerManager::buildGroupFromFolder(const QString &relative, bool isRoot)
{
    const QString file = QDir(m_writer->absolutePath(relative)).filePath(StoreWriter::GroupFile);
    const std::optional<QVariantMap> info = PropertyList::readDictionary(file);
    if (!info || info->isEmpty()) {
        if (QFileInfo::exists(file))
            qCWarning(lcStore, "%s is not a readable group; skipped", qUtf8Printable(file));
        return nullptr;
    }
    auto group = std::make_shared<KCGroupLayer>(QFileInfo(m_writer->absolutePath(relative)).fileName());
    group->setExpanded(typed(*info, kExpanded, QMetaType::Bool, false, file).toBool());
    group->setTitle(typed(*info, kDisplayName, QMetaType::QString, QString(), file).toString());
    group->setConditions(typed(*info, kConditions, QMetaType::QVariantList, QVariantList(), file).toList());
    group->setEnabled(!typed(*info, kDisabled, QMetaType::Bool, false, file).toBool());

    // Identifiers are folder names: whatever could reach outside the group's folder, the built-in
    // tree from the root, or an item already loaded (the driver keeps one item per identifier) is
    // left out.
    if (isRoot)
        m_loadedIdentifiers.clear();
    const QVariantList order =
        typed(*info, kItemOrder, QMetaType::QVariantList, QVariantList(), file).toList();
    for (const QVariant &entry : order) {
        const QString identifier = entry.typeId() == QMetaType::QString ? entry.toString() : QString();
        if (!StoreWriter::isPlainName(identifier) || (isRoot && identifier == DefaultsIdentifier)) {
            qCWarning(lcStore, "%s: \"ItemOrder\" entry %s is not an item name; skipped",
                      qUtf8Printable(file), qUtf8Printable(entry.toString()));
            continue;
        }
        if (m_loadedIdentifiers.contains(identifier)) {
            qCWarning(lcStore, "%s: item %s is listed twice; the first is kept", qUtf8Printable(file),
                      qUtf8Printable(identifier));
            continue;
        }
        const QString childRelative =
            relative.isEmpty() ? identifier : relative + QLatin1Char('/') + identifier;
        if (auto item = readItem(childRelative, identifier, isRoot)) {
            m_loadedIdentifiers.insert(identifier);
            group->addLayer(std::move(item));
        }
    }
    return group;
}

std::shared_ptr<KCLayer> KCLayerManager::readItem(const QString &relative, const QString &identifier,
                                                  bool inRoot)
{
    const QDir folder(m_writer->absolutePath(relative));
    if (!folder.exists())
        return nullptr;
    std::shared_ptr<KCLayer> item;
    QVariantMap info;
    QString file = folder.filePath(StoreWriter::LayerFile);
    if (QFileInfo::exists(file)) {
        const QString picture = folder.filePath(StoreWriter::PictureFile);
        if (!QFileInfo::exists(picture))
            return nullptr;
        const auto read = PropertyList::readDictionary(file);
        if (!read) {
            qCWarning(lcStore, "%s is not a readable layer; skipped", qUtf8Printable(file));
            return nullptr;
        }
        info = *read;
        auto layer = KCSingleLayer::create(identifier);
        layer->setHybrid(typed(info, kHybrid, QMetaType::Bool, false, file).toBool());
        layer->setButtonsInfo(LayerStoreCodec::archiveButtonsInfo(
            typed(info, kButtons, QMetaType::QVariantMap, QVariantMap(), file).toMap(), true));
        layer->setLayerImageCachePath(picture);
        item = layer;
    } else if (QFileInfo::exists(folder.filePath(StoreWriter::GroupFile))) {
        if (!inRoot) {
            qCWarning(lcStore, "%s: groups inside groups are not supported; skipped",
                      qUtf8Printable(folder.path()));
            return nullptr;
        }
        auto group = buildGroupFromFolder(relative, false);
        if (!group)
            return nullptr;
        return group;
    } else {
        return nullptr;
    }
    item->setTitle(typed(info, kDisplayName, QMetaType::QString, QString(), file).toString());
    item->setConditions(typed(info, kConditions, QMetaType::QVariantList, QVariantList(), file).toList());
    item->setEnabled(!typed(info, kDisabled, QMetaType::Bool, false, file).toBool());
    return item;
}

QVariantMap KCLayerManager::infoDictionaryForLayer(KCLayer &layer) const
{
    QVariantMap info{{kConditions, layer.conditions()}, {kDisabled, !layer.enabled()}};
    if (layer.isGroup()) {
        auto &group = static_cast<KCGroupLayer &>(layer);
        info.insert(kItemOrder, QVariant(childIdentifiers(group)).toList());
        info.insert(kExpanded, group.isExpanded());
    } else if (auto *single = dynamic_cast<KCSingleLayer *>(&layer)) {
        info.insert(kHybrid, single->hybrid());
        info.insert(kButtons, LayerStoreCodec::archiveButtonsInfo(single->allButtonsInfo(), false));
    }
    info.insert(kDisplayName, layer.title());
    return info;
}

bool KCLayerManager::writeItemProperties(StoreJournal &journal, KCLayer &layer)
{
    const auto relative = relativePathForLayer(&layer);
    if (!relative)
        return true; // not in the tree: nothing on disk describes it
    return layer.isGroup() ? journal.writeGroup(*relative, infoDictionaryForLayer(layer))
                           : journal.writeLayer(*relative, infoDictionaryForLayer(layer));
}

bool KCLayerManager::writeTree(StoreJournal &journal, KCLayer &layer, const QString &relative)
{
    if (!layer.isGroup()) {
        auto *single = dynamic_cast<KCSingleLayer *>(&layer);
        if (!single)
            return false;
        const std::optional<QImage> picture = single->layerImage();
        return journal.writeLayer(relative, infoDictionaryForLayer(layer)) &&
               journal.writePicture(relative, picture ? *picture : LayerPicture::blackLayer());
    }
    auto &group = static_cast<KCGroupLayer &>(layer);
    if (!journal.writeGroup(relative, infoDictionaryForLayer(layer)))
        return false;
    for (const auto &child : group.layers()) {
        if (!writeTree(journal, *child, relative + QLatin1Char('/') + child->UUID()))
            return false;
    }
    return true;
}

std::optional<QImage> KCLayerManager::pictureOfLayer(const QString &identifier)
{
    const auto layer = findLayerByID(identifier);
    if (auto single = std::dynamic_pointer_cast<KCSingleLayer>(layer)) {
        const auto picture = single->layerImage();
        return picture ? *picture : LayerPicture::blackLayer();
    }
    if (auto language = std::dynamic_pointer_cast<KCLanguageLayer>(layer))
        return language->layerImageForModifierKey(language->currentModifierKeys());
    if (auto controls = std::dynamic_pointer_cast<KCKeyboardDefaultLayer>(layer))
        return controls->layerImage();
    return std::nullopt;
}

bool KCLayerManager::writeDefaultsGroup(bool onlyWhenMissing)
{
    QVariantList order;
    for (const Language &language : m_languages)
        order.append(languageFolder(language.identifier));
    order.append(KCKeyboardDefaultLayer::Identifier);
    const QString relative = DefaultsIdentifier + QLatin1Char('/') + StoreWriter::GroupFile;
    const QString file = m_writer->absolutePath(relative);
    if (onlyWhenMissing && QFileInfo::exists(file)) {
        // The languages changed while nobody ran: the order follows the current ones.
        const auto existing = PropertyList::readDictionary(file);
        if (!existing || existing->value(kItemOrder).toList() == order)
            return true;
    }
    return m_writer->writePlist(relative, {{kConditions, QVariantList()},
                                           {kDisabled, false},
                                           {kDisplayName, QStringLiteral("Background")},
                                           {kItemOrder, order}});
}

bool KCLayerManager::repairDefaultLayersFolder()
{
    // Every file is written only when missing: what the user (or an earlier run) wrote stays.
    const auto missing = [this](const QString &relative) {
        return !QFileInfo::exists(m_writer->absolutePath(relative));
    };
    bool ok = writeDefaultsGroup(true);
    const QStringList languageKeys = LanguagesHelper::keyCodesTable().keys();
    for (int i = 0; i < m_languages.size(); ++i) {
        const Language &language = m_languages.at(i);
        const QString folder = DefaultsIdentifier + QLatin1Char('/') + languageFolder(language.identifier);
        QVariantList layerNames;
        for (const QString &modifier : kModifierNames) {
            const QString name = QStringLiteral("Lang%1_%2").arg(language.identifier).arg(modifier);
            layerNames.append(name);
            const QString layerFolder = folder + QLatin1Char('/') + name;
            if (missing(layerFolder + QLatin1Char('/') + StoreWriter::LayerFile)) {
                QVariantMap info{
                    {kDisabled, false}, {kDisplayName, modifier}, {kButtons, emptyEntries(languageKeys)}};
                if (modifier != QLatin1String("None"))
                    info.insert(kConditions, languageLayerConditions(modifier));
                ok = m_writer->writeLayer(layerFolder, info) && ok;
            }
            if (missing(layerFolder + QLatin1Char('/') + StoreWriter::PictureFile)) {
                const auto &layer = i < static_cast<int>(m_languageLayers.size())
                                        ? m_languageLayers[static_cast<size_t>(i)]
                                        : nullptr;
                const QImage picture = layer ? layer->layerImageForModifierKey(
                                                   modifier == QLatin1String("None") ? QString() : modifier)
                                             : LayerPicture::blackLayer();
                ok = m_writer->writePicture(layerFolder, picture) && ok;
            }
        }
        if (missing(folder + QLatin1Char('/') + StoreWriter::GroupFile)) {
            const QVariantMap condition{
                {conditionkeys::Type, conditionkeys::LanguageType},
                {conditionkeys::Settings, QVariantMap{{conditionkeys::LanguageID, language.identifier},
                                                      {conditionkeys::Predicate, conditionkeys::IsActive}}}};
            ok = m_writer->writeGroup(folder, {{kConditions, QVariantList{condition}},
                                               {kDisabled, false},
                                               {kDisplayName, language.name},
                                               {kItemOrder, layerNames}}) &&
                 ok;
        }
    }
    const QString controls = DefaultsIdentifier + QLatin1Char('/') + KCKeyboardDefaultLayer::Identifier;
    if (missing(controls + QLatin1Char('/') + StoreWriter::LayerFile)) {
        ok =
            m_writer->writeLayer(
                controls,
                {{kConditions, QVariantList()},
                 {kDisabled, false},
                 {kDisplayName, QStringLiteral("Control Buttons")},
                 {kButtons, emptyEntries(m_defaultLayer ? m_defaultLayer->buttonNames() : QStringList())}}) &&
            ok;
    }
    if (missing(controls + QLatin1Char('/') + StoreWriter::PictureFile))
        ok = m_writer->writePicture(controls, m_defaultLayer ? m_defaultLayer->layerImage()
                                                             : LayerPicture::blackLayer()) &&
             ok;
    if (!ok)
        qCWarning(lcStore, "The background layers in %s could not all be written", qUtf8Printable(root()));
    return ok;
}

} // namespace brevona
