#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QImage>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "PreferenceKeys.h"
#include "StoreNames.h"

class QTemporaryDir;
class QUndoStack;

namespace brevona {

class DriverCommandSink;
class KCGroupLayer;
class KCKeyboardDefaultLayer;
class KCLanguageLayer;
class LayerPictureSaver;
class LayerPictureWriter;
class KCLayer;
class KCSingleLayer;
class KeyTranslator;
class PreferencesStore;
class StoreJournal;
class StoreWriter;

// Asks the user whether a delete may go ahead. The window shows a modal alert; the headless tool
// answers from its command line.
class DeleteConfirmation
{
public:
    virtual ~DeleteConfirmation() = default;
    // `message` is the alert's title, `informative` its question. True: delete.
    virtual bool confirmDelete(const QString &message, const QString &informative) = 0;
};

// The configurator's layer tree and the only writer of the layer store: loads the store, keeps the
// built-in "Defaults" tree complete, carries out the user's structural edits and tells the driver.
//
// Every edit writes its files first (each atomically) and then sends exactly one command to the
// driver sink. An edit whose file operation fails leaves the model and the store as they were,
// sends nothing and reports the failure (lastError()). Edits are undoable: each is one command on
// undoStack(); undoing rewrites the files and sends the driver the inverse command. The undo stack
// keeps at most UndoLimit edits; deleted folders wait in a private folder beside the store until
// their edit leaves the stack.
//
// The model side of the layer list: identifiers name rows; the root's children are the top level.
// Main thread only.
class KCLayerManager
{
public:
    static constexpr int UndoLimit = 100;
    static inline const QString RootIdentifier = QStringLiteral("Layers");
    static inline const QString &DefaultsIdentifier = storenames::DefaultsId;
    static inline const QString &LastSelectionKey = PreferenceKeys::LastLayersSelection;

    enum class Outcome
    {
        Done,
        Refused,   // bad input or not allowed: nothing changed (lastError() says why)
        Cancelled, // the user declined: nothing changed
        Failed,    // a file operation failed: nothing changed (lastError() says which)
    };

    struct Language
    {
        int identifier = 0;
        QString layout; // "us", "de(nodeadkeys)"
        QString name;   // for people
    };

    // Where a drop lands: a group and the index among its children.
    struct DropTarget
    {
        QString group;
        int index = 0;
        bool operator==(const DropTarget &) const = default;
    };

    // `root` is the store's folder. `driver` may be null (nothing is sent), as may `confirmation`
    // (every delete goes ahead) and `preferences` (the selection is not remembered).
    KCLayerManager(const QString &root, DriverCommandSink *driver, DeleteConfirmation *confirmation,
                   PreferencesStore *preferences);
    ~KCLayerManager();
    KCLayerManager(const KCLayerManager &) = delete;
    KCLayerManager &operator=(const KCLayerManager &) = delete;

    // The writer every file goes through (tests inject faults into it).
    StoreWriter &writer();
    QUndoStack *undoStack() const;
    // Undo and redo with their outcome: Failed leaves the model, the files and the stack as they
    // were (lastError() says why); Refused when there is nothing to undo or redo.
    Outcome undo();
    Outcome redo();
    // Why the last edit was refused or failed.
    const QString &lastError() const { return m_lastError; }

    // Start-up: language layers for `languages` (their translator draws their pictures), the
    // root group read from the store, the "Defaults" tree repaired, the remembered selection
    // restored. Failed when the root's "Group.plist" is missing or unreadable: nothing is loaded
    // and nothing is written.
    Outcome startup(const QList<Language> &languages, std::shared_ptr<const KeyTranslator> translator,
                    int currentLanguageID);
    // The set of input languages changed: "Defaults/Group.plist" lists exactly `languages`, missing
    // files are written, the driver rereads the store, the selection is cleared.
    Outcome languageSetupChanged(const QList<Language> &languages);
    // The input language in use changed: its layer becomes the current language layer; a language
    // without a layer rebuilds them.
    void languageHasChanged(int languageID);
    // Writes whatever of the built-in tree is missing; never overwrites a file.
    bool repairDefaultLayersFolder();

    // Lookup.
    std::shared_ptr<KCGroupLayer> rootGroup() const { return m_root; }
    const std::vector<std::shared_ptr<KCLanguageLayer>> &languageLayers() const { return m_languageLayers; }
    std::shared_ptr<KCLanguageLayer> currentLanguageLayer() const;
    std::shared_ptr<KCKeyboardDefaultLayer> keyboardDefaultLayer() const { return m_defaultLayer; }
    std::shared_ptr<KCLayer> findLayerByID(const QString &identifier) const;
    // The root for a child of the root, the group for a child of a top-level group, else nothing.
    std::shared_ptr<KCGroupLayer> groupForLayer(const KCLayer *layer) const;
    std::shared_ptr<KCGroupLayer> trashGroup() const;
    // "" for the root, "ID" or "GROUP/ID" inside it; nothing for an item outside the tree.
    std::optional<QString> relativePathForLayer(const KCLayer *layer) const;
    QString root() const;

    // Selection: identifiers of the selected rows in row order. Unknown identifiers are dropped.
    // Remembered as "LastLayersSelection".
    void setSelection(const QStringList &identifiers);
    const QStringList &selection() const { return m_selection; }
    // The selected item when exactly one row is selected.
    std::shared_ptr<KCLayer> currentLayer() const { return m_currentLayer; }

    // Edits. Placement follows the selection as the layer list does; the new item is selected.
    // `conditions` are the new item's first conditions (normalised as KCLayer::setConditions
    // does): its file holds them before the driver hears of it, so one edit and one command make
    // an item that already follows them.
    Outcome createNewLayer(const QString &title = QString(), const QVariantList &conditions = {});
    Outcome createNewGroup(const QString &title = QString(), const QVariantList &conditions = {});
    // A layer made elsewhere (keys, pictures, title and conditions already set; not in the tree),
    // placed as createNewLayer places one, in one undoable edit named `text`.
    Outcome addNewLayer(const std::shared_ptr<KCSingleLayer> &layer, const QString &text);
    // Groups made elsewhere with their layers, placed one after another where createNewGroup would
    // place one, in one undoable edit named `text`: every folder is written (or none is), then one
    // "ItemCreated" per group; the new groups are selected. Refused when an identifier is in use.
    Outcome addNewGroups(const std::vector<std::shared_ptr<KCGroupLayer>> &groups, const QString &text);
    // Deletes the selected rows after confirmation; the row picked by the reselection rule is
    // selected afterwards.
    Outcome deleteSelection();
    Outcome toggleLayer(const QString &identifier, bool enabled);
    Outcome setHybrid(const QString &identifier, bool hybrid);
    // A title of "Trash" also switches the item off (and tells the driver so).
    Outcome rename(const QString &identifier, const QString &title);
    // Replaces the conditions of an item of the user's tree (normalised as KCLayer::setConditions
    // does), writes its property file and sends one "LayerConditionsChanged" with what the file
    // now holds. The background layers and the built-in folders are refused: the keyboard's
    // language switching depends on their conditions.
    Outcome setConditions(const QString &identifier, const QVariantList &conditions);
    // The outline state; written, not undoable, no command.
    Outcome setExpanded(const QString &identifier, bool expanded);
    // Drops dragged rows: `onItem` empty means the top level, where `childIndex` counts the
    // "LAYERS" header row as row 0; `childIndex` -1 means onto the item itself. Nothing when the
    // drop is refused, else where it lands.
    std::optional<DropTarget> validateDrop(const QStringList &dragged, const QString &onItem,
                                           int childIndex) const;
    Outcome acceptDrop(const QStringList &dragged, const DropTarget &target);
    // A plugin's toggle announcement: flips the item's switch and rewrites its file; no command,
    // since the driver hears the announcement itself. Not undoable.
    Outcome pluginToggleLayerVisibility(const QString &identifier);

    // A key of a single layer as stored: its own picture (48 x 48) and its "DisplayPlugin" and
    // "ActionPlugin" entries ({"Signature", "Settings"}), each only when it has one.
    struct KeyState
    {
        QImage picture;
        QVariantMap info;
    };
    // Key name -> its new state; nothing removes the key.
    using KeyStates = std::map<QString, std::optional<KeyState>>;
    static inline const QString DisplayPluginKey = QStringLiteral("DisplayPlugin");
    static inline const QString ActionPluginKey = QStringLiteral("ActionPlugin");

    // Keys of single layers, in one undoable edit named `text`: the layer's properties and picture
    // are written, then "ButtonsChanged" tells the driver the keys that stay and "ButtonsDeleted"
    // those that went. Keys already as asked are left out; when none is left nothing happens.
    Outcome setKeys(const QString &layerIdentifier, const KeyStates &keys, const QString &text);
    std::optional<KeyState> keyState(const QString &layerIdentifier, const QString &key);
    // One key's picture (fitted to the display; the key's display plugin goes) and its removal.
    Outcome setKeyPicture(const QString &layerIdentifier, const QString &key, const QImage &picture);
    Outcome clearKey(const QString &layerIdentifier, const QString &key);
    // Settings of a key's display or action plugin (`side` is DisplayPluginKey or ActionPluginKey)
    // merged with `changes`, where the null marker removes a setting: the running instance takes
    // them, the layer's properties are written, and instead of a command of its own the driver
    // hears `tell` with the changes (the caller's coalesced "PluginSettings"). Undo tells the old
    // values the same way.
    // A key dragged onto another: within a layer the two change places; into another layer the
    // target takes the key and the source loses it. One undoable edit, told as "ButtonsMoved".
    Outcome moveKey(const QString &sourceLayer, const QString &sourceKey, const QString &targetLayer,
                    const QString &targetKey);
    using SettingsTeller = std::function<void(const QVariantMap &changes)>;
    Outcome mergeKeySettings(const QString &layerIdentifier, const QString &key, const QString &side,
                             const QVariantMap &changes, const SettingsTeller &tell);

    // Keys drawn from text, each one undoable edit named `text`: the layer's private file is
    // saved, the "Defaults" layer's picture rewritten, then one "ButtonsChanged" gives the driver
    // the keys' new pictures. `attributes` are merged into the keys' overrides (the null marker
    // removes one); nothing removes them all. Keys the layer does not draw are refused; an edit
    // that changes nothing is Done without a command.
    Outcome setLanguageAttributes(int languageID, const QString &modifierKey, const QStringList &keys,
                                  const std::optional<QVariantMap> &attributes, const QString &text);
    Outcome setControlAttributes(const QStringList &keys, const std::optional<QVariantMap> &attributes,
                                 const QString &text);
    // `label` must be one of every key's labels; empty gives the keys their default labels back.
    Outcome setControlLabel(const QStringList &keys, const QString &label);
    std::shared_ptr<KCLanguageLayer> languageLayer(int languageID) const;
    // "Lang%d_%s" with the modifier key, "None" standing for no modifier.
    static QString languageLayerIdentifier(int languageID, const QString &modifierKey);

    // The delayed picture save: the layer's "Main.tiff" (for a language layer the picture of its
    // current modifier key) is written one second after the last request, on a worker, atomically
    // as LZW TIFF. A writer never creates a folder: a save for an item that is gone writes nothing.
    void saveImageOfLayer(const QString &identifier);
    // Writes the pending picture now and waits for every running write. Run before quitting,
    // backing up, exporting, and before any edit that moves or deletes folders.
    void flushPictureSaves();
    bool hasPendingPictureSave() const;

    // The property dictionary written for an item.
    QVariantMap infoDictionaryForLayer(KCLayer &layer) const;
    // A layer's stored picture; nothing for a group or an unknown identifier.
    std::optional<QImage> pictureOfLayer(const QString &identifier);

private:
    // Where an item sits (or sat) in the tree; `parked` is its folder's place in the private undo
    // folder while the item is out of the tree.
    struct Placement
    {
        std::shared_ptr<KCLayer> item;
        std::shared_ptr<KCGroupLayer> group;
        int index = 0;
        QString parked;
    };
    using Placements = std::shared_ptr<std::vector<Placement>>;
    struct MoveRecord
    {
        std::shared_ptr<KCLayer> item;
        std::shared_ptr<KCGroupLayer> from;
        int fromIndex = 0;
    };

    // Loading and files (KCLayerManagerFiles.cpp).
    std::shared_ptr<KCGroupLayer> buildGroupFromFolder(const QString &relative, bool isRoot);
    std::shared_ptr<KCLayer> readItem(const QString &relative, const QString &identifier, bool inRoot);
    bool writeItemProperties(StoreJournal &journal, KCLayer &layer);
    // Rewrites the item order of each group; on a failure the model change is undone first.
    bool writeOrders(StoreJournal &journal, const std::vector<std::shared_ptr<KCGroupLayer>> &groups,
                     const std::function<void()> &undoModel);
    bool writeTree(StoreJournal &journal, KCLayer &layer, const QString &relative);
    QString absolutePath(const KCLayer &layer) const;
    bool writeDefaultsGroup(bool onlyWhenMissing);

    // Edits (KCLayerManagerActions.cpp).
    Outcome perform(const QString &text, std::function<bool()> forward, std::function<bool()> backward);
    bool insertItems(std::vector<Placement> &items);
    bool removeItems(std::vector<Placement> &items,
                     const std::function<void(const Placement &, int countAfter)> &removed = {});
    bool moveItems(const QStringList &dragged, const DropTarget &target, std::vector<MoveRecord> &records);
    bool unmoveItems(const std::vector<MoveRecord> &records);
    bool setSwitch(KCLayer &layer, bool enabled, bool tellDriver);
    bool writeConditions(KCLayer &layer, const QVariantList &conditions);
    // Keys (KCLayerManagerKeys.cpp).
    // Without `tell` the caller sends the command.
    bool changeKeys(KCSingleLayer &layer, const KeyStates &states, bool tell = true);
    bool changeKeySettings(KCSingleLayer &layer, const QString &key, const QString &side,
                           const QVariantMap &changes);
    // Text keys (KCLayerManagerText.cpp): key name -> the complete overrides (and chosen label).
    struct ControlKey
    {
        std::optional<QString> label;
        QVariantMap overrides;
        bool operator==(const ControlKey &) const = default;
    };
    using ControlKeys = std::map<QString, ControlKey>;
    using LanguageKeys = std::map<QString, QVariantMap>;
    bool changeLanguageKeys(KCLanguageLayer &layer, const QString &modifierKey, const LanguageKeys &keys);
    bool changeControlKeys(const ControlKeys &keys);
    // The refusal when `names` are not control keys of a loaded store; nothing when they are.
    std::optional<Outcome> checkControlKeys(const QStringList &names);
    Outcome performControlEdit(const QString &text, const ControlKeys &forward);
    Placements newPlacements() const;
    std::optional<QString> parkingPlace(const QString &identifier);
    QStringList childIdentifiers(const KCGroupLayer &group) const;

    static bool writePictureIntoExistingFolder(const QString &path, const QImage &picture);
    void buildLanguageLayers(const QList<Language> &languages);
    void send(const QString &command, const QVariantMap &info);
    bool fail(const QString &why);
    Outcome refuse(const QString &why);
    void storeSelection();
    void activateSelection();

    std::unique_ptr<QTemporaryDir> m_parking;
    std::unique_ptr<StoreWriter> m_writer;
    std::unique_ptr<QUndoStack> m_undo;
    std::unique_ptr<LayerPictureWriter> m_pictureWriter;
    std::unique_ptr<LayerPictureSaver> m_pictureSaver;
    Outcome m_outcome = Outcome::Done;
    DriverCommandSink *m_driver;
    DeleteConfirmation *m_confirmation;
    PreferencesStore *m_preferences;

    std::shared_ptr<KCGroupLayer> m_root;
    std::vector<std::shared_ptr<KCLanguageLayer>> m_languageLayers;
    QList<Language> m_languages;
    std::shared_ptr<const KeyTranslator> m_translator;
    std::shared_ptr<KCKeyboardDefaultLayer> m_defaultLayer;
    int m_currentLanguageIndex = 0;
    QStringList m_selection;
    std::shared_ptr<KCLayer> m_currentLayer;
    bool m_restoringSelection = false;
    QString m_lastError;
    QSet<QString> m_loadedIdentifiers; // while loading: first listing wins
};

} // namespace brevona
