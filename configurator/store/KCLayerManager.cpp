#include "KCLayerManager.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QUndoStack>

#include "CommandNames.h"
#include "DriverCommandSink.h"
#include "KCGroupLayer.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "KCSingleLayer.h"
#include "LayerEditCommand.h"
#include "LayerPictureSaver.h"
#include "LayerPictureWriter.h"
#include "PreferencesStore.h"
#include "PropertyList.h"
#include "StoreLogging.h"
#include "StoreWriter.h"

namespace brevona {

KCLayerManager::KCLayerManager(const QString &root, DriverCommandSink *driver,
                               DeleteConfirmation *confirmation, PreferencesStore *preferences)
    : m_writer(std::make_unique<StoreWriter>(root))
    , m_undo(std::make_unique<QUndoStack>())
    , m_pictureWriter(std::make_unique<LayerPictureWriter>(&KCLayerManager::writePictureIntoExistingFolder))
    , m_pictureSaver(std::make_unique<LayerPictureSaver>(*m_pictureWriter))
    , m_driver(driver)
    , m_confirmation(confirmation)
    , m_preferences(preferences)
{
    m_undo->setUndoLimit(UndoLimit);
}

KCLayerManager::~KCLayerManager()
{
    flushPictureSaves();
    // The edits own parked folders; they go before the parking folder itself.
    m_undo.reset();
}

bool KCLayerManager::writePictureIntoExistingFolder(const QString &path, const QImage &picture)
{
    // The item may have been deleted or moved since the save was asked for: its folder is not
    // made again.
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir()) {
        qCInfo(lcStore, "Picture %s not written: its item is gone", qUtf8Printable(path));
        return false;
    }
    QSaveFile file(path);
    const QByteArray bytes = StoreWriter::tiffData(picture);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
        !file.commit()) {
        qCWarning(lcStore, "Picture %s cannot be written: %s", qUtf8Printable(path),
                  qUtf8Printable(file.errorString()));
        return false;
    }
    return true;
}

void KCLayerManager::saveImageOfLayer(const QString &identifier)
{
    const auto layer = findLayerByID(identifier);
    if (!layer)
        return;
    QString relative;
    QString modifier;
    if (auto language = std::dynamic_pointer_cast<KCLanguageLayer>(layer)) {
        modifier = language->currentModifierKeys();
        relative = QStringLiteral("%1/Language%2/Lang%2_%3")
                       .arg(DefaultsIdentifier)
                       .arg(language->languageID())
                       .arg(modifier.isEmpty() ? QStringLiteral("None") : modifier);
    } else if (layer == m_defaultLayer) {
        relative = DefaultsIdentifier + QLatin1Char('/') + KCKeyboardDefaultLayer::Identifier;
    } else if (const auto path = relativePathForLayer(layer.get()); path && !layer->isGroup()) {
        relative = *path;
    } else {
        return;
    }
    m_pictureSaver->schedule(layer, modifier,
                             m_writer->absolutePath(relative + QLatin1Char('/') + StoreWriter::PictureFile));
}

void KCLayerManager::flushPictureSaves()
{
    m_pictureSaver->flush();
    m_pictureWriter->waitForDone();
}

bool KCLayerManager::hasPendingPictureSave() const
{
    return m_pictureSaver->hasPending();
}

StoreWriter &KCLayerManager::writer()
{
    return *m_writer;
}

QUndoStack *KCLayerManager::undoStack() const
{
    return m_undo.get();
}

QString KCLayerManager::root() const
{
    return m_writer->root();
}

KCLayerManager::Outcome KCLayerManager::startup(const QList<Language> &languages,
                                                std::shared_ptr<const KeyTranslator> translator,
                                                int currentLanguageID)
{
    m_translator = std::move(translator);
    buildLanguageLayers(languages);
    languageHasChanged(currentLanguageID);
    m_defaultLayer = KCKeyboardDefaultLayer::create();

    const QString rootFile = QDir(root()).filePath(StoreWriter::GroupFile);
    if (!QFileInfo::exists(rootFile)) {
        // A store never written before: its root starts empty. Item folders that may exist stay.
        if (!m_writer->writeGroup(QString(), {{storenames::DisplayName, QStringLiteral("root")},
                                              {QStringLiteral("ItemOrder"), QVariantList()}})) {
            fail(QStringLiteral("The layer store %1 cannot be created").arg(root()));
            return Outcome::Failed;
        }
    }
    m_root = buildGroupFromFolder(QString(), true);
    if (!m_root) {
        fail(QStringLiteral("The layer store's root %1 is not readable; nothing was changed").arg(rootFile));
        return Outcome::Failed;
    }
    m_root->setTitle(QStringLiteral("root"));
    m_root->setUUID(RootIdentifier);

    repairDefaultLayersFolder();

    m_restoringSelection = true;
    if (m_preferences)
        setSelection(m_preferences->stringListValue(LastSelectionKey));
    m_restoringSelection = false;
    return Outcome::Done;
}

void KCLayerManager::buildLanguageLayers(const QList<Language> &languages)
{
    m_languages = languages;
    m_languageLayers.clear();
    for (const Language &language : languages) {
        if (m_translator)
            m_languageLayers.push_back(
                KCLanguageLayer::newLayerWithID(language.layout, m_translator, language.name));
    }
    m_currentLanguageIndex = 0;
}

KCLayerManager::Outcome KCLayerManager::languageSetupChanged(const QList<Language> &languages)
{
    m_lastError.clear();
    const int current = currentLanguageLayer() ? currentLanguageLayer()->languageID() : -1;
    buildLanguageLayers(languages);
    for (size_t i = 0; i < m_languageLayers.size(); ++i) {
        if (m_languageLayers[i]->languageID() == current)
            m_currentLanguageIndex = static_cast<int>(i);
    }
    if (!writeDefaultsGroup(false) || !repairDefaultLayersFolder()) {
        fail(QStringLiteral("The background layers of the new languages cannot be written"));
        return Outcome::Failed;
    }
    send(commands::RefreshLayer, {{commands::keys::LayerId, DefaultsIdentifier}});
    setSelection({});
    return Outcome::Done;
}

void KCLayerManager::languageHasChanged(int languageID)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < m_languageLayers.size(); ++i) {
            if (m_languageLayers[i]->languageID() == languageID) {
                m_currentLanguageIndex = static_cast<int>(i);
                return;
            }
        }
        buildLanguageLayers(m_languages);
    }
}

std::shared_ptr<KCLanguageLayer> KCLayerManager::currentLanguageLayer() const
{
    if (m_currentLanguageIndex < 0 || m_currentLanguageIndex >= static_cast<int>(m_languageLayers.size()))
        return nullptr;
    return m_languageLayers[static_cast<size_t>(m_currentLanguageIndex)];
}

std::shared_ptr<KCLayer> KCLayerManager::findLayerByID(const QString &identifier) const
{
    if (identifier.startsWith(QLatin1String("Language"))) {
        for (const auto &layer : m_languageLayers) {
            if (layer->UUID() == identifier)
                return layer;
        }
    }
    if (m_defaultLayer && identifier == m_defaultLayer->UUID())
        return m_defaultLayer;
    if (!m_root)
        return nullptr;
    for (const auto &child : m_root->layers()) {
        if (child->UUID() == identifier)
            return child;
        if (child->isGroup()) {
            for (const auto &inner : static_cast<const KCGroupLayer &>(*child).layers()) {
                if (inner->UUID() == identifier)
                    return inner;
            }
        }
    }
    return nullptr;
}

std::shared_ptr<KCGroupLayer> KCLayerManager::groupForLayer(const KCLayer *layer) const
{
    if (!m_root || !layer)
        return nullptr;
    if (m_root->hasLayer(layer))
        return m_root;
    for (const auto &child : m_root->layers()) {
        if (child->isGroup()) {
            auto group = std::static_pointer_cast<KCGroupLayer>(child);
            if (group->hasLayer(layer))
                return group;
        }
    }
    return nullptr;
}

std::shared_ptr<KCGroupLayer> KCLayerManager::trashGroup() const
{
    if (!m_root)
        return nullptr;
    for (const auto &child : m_root->layers()) {
        if (child->isGroup() && child->title() == KCGroupLayer::TrashTitle)
            return std::static_pointer_cast<KCGroupLayer>(child);
    }
    return nullptr;
}

std::optional<QString> KCLayerManager::relativePathForLayer(const KCLayer *layer) const
{
    if (!m_root || !layer)
        return std::nullopt;
    if (layer == m_root.get())
        return QString();
    const auto group = groupForLayer(layer);
    if (!group)
        return std::nullopt;
    if (group == m_root)
        return layer->UUID();
    return group->UUID() + QLatin1Char('/') + layer->UUID();
}

QString KCLayerManager::absolutePath(const KCLayer &layer) const
{
    const auto relative = relativePathForLayer(&layer);
    return relative ? m_writer->absolutePath(*relative) : QString();
}

void KCLayerManager::setSelection(const QStringList &identifiers)
{
    QStringList kept;
    for (const QString &identifier : identifiers) {
        if (!kept.contains(identifier) && findLayerByID(identifier))
            kept.append(identifier);
    }
    m_selection = kept;
    m_currentLayer = kept.size() == 1 ? findLayerByID(kept.first()) : nullptr;
    if (auto language = std::dynamic_pointer_cast<KCLanguageLayer>(m_currentLayer))
        language->setCurrentModifierKeys(QString());
    if (!m_restoringSelection)
        storeSelection();
    if (!kept.isEmpty())
        activateSelection();
}

void KCLayerManager::activateSelection()
{
    // The selected layers' plugins run, so their keys show live pictures; the others rest.
    std::vector<std::shared_ptr<KCSingleLayer>> selected;
    const auto visit = [&](const KCGroupLayer &group, const auto &self) -> void {
        for (const auto &child : group.layers()) {
            if (const auto group = std::dynamic_pointer_cast<KCGroupLayer>(child)) {
                self(*group, self);
            } else if (const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(child)) {
                if (m_selection.contains(layer->UUID()))
                    selected.push_back(layer);
                else
                    layer->deactivate();
            }
        }
    };
    if (m_root)
        visit(*m_root, visit);
    for (const auto &layer : selected)
        layer->activate();
}

void KCLayerManager::storeSelection()
{
    if (m_preferences)
        m_preferences->setValue(LastSelectionKey, m_selection);
}

QStringList KCLayerManager::childIdentifiers(const KCGroupLayer &group) const
{
    QStringList identifiers;
    for (const auto &child : group.layers())
        identifiers.append(child->UUID());
    return identifiers;
}

void KCLayerManager::send(const QString &command, const QVariantMap &info)
{
    if (m_driver)
        m_driver->sendCommand(command, info);
}

bool KCLayerManager::fail(const QString &why)
{
    m_outcome = Outcome::Failed;
    m_lastError = why;
    qCWarning(lcStore, "%s", qUtf8Printable(why));
    return false;
}

KCLayerManager::Outcome KCLayerManager::refuse(const QString &why)
{
    m_lastError = why;
    qCWarning(lcStore, "%s", qUtf8Printable(why));
    return Outcome::Refused;
}

KCLayerManager::Outcome KCLayerManager::perform(const QString &text, std::function<bool()> forward,
                                                std::function<bool()> backward)
{
    m_outcome = Outcome::Done;
    m_lastError.clear();
    // The stack runs the first step and drops the edit when it failed.
    m_undo->push(new LayerEditCommand(*m_undo, text, std::move(forward), std::move(backward)));
    return m_outcome;
}

KCLayerManager::Outcome KCLayerManager::undo()
{
    if (!m_undo->canUndo())
        return refuse(QStringLiteral("Nothing to undo"));
    m_outcome = Outcome::Done;
    m_lastError.clear();
    const int index = m_undo->index();
    m_undo->undo();
    if (m_outcome == Outcome::Failed)
        m_undo->setIndex(index); // the command skips the step this would run
    return m_outcome;
}

KCLayerManager::Outcome KCLayerManager::redo()
{
    if (!m_undo->canRedo())
        return refuse(QStringLiteral("Nothing to redo"));
    m_outcome = Outcome::Done;
    m_lastError.clear();
    const int index = m_undo->index();
    m_undo->redo();
    if (m_outcome == Outcome::Failed)
        m_undo->setIndex(index);
    return m_outcome;
}

} // namespace brevona
