#pragma once

#include <functional>
#include <optional>

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include "KCLayerManager.h"

namespace brevona {

class ApplicationsHelper;
class KCLayer;
class LanguagesHelper;

// What the conditions table of the main window shows and does, without widgets: the rows of the
// item the layer list has selected (or the one named), the menus, the defaults of new
// conditions, and every add, change and delete, which goes through KCLayerManager::setConditions
// (Caps Lock normalisation, the property file, one "LayerConditionsChanged", undo). Also the
// names and icons the layer list shows for untitled items. The window and brevona-layers share
// it, so a script meets the same rules as a click.
//
// Rules beyond the table's cells: a layer or group has at most one modifier, Caps Lock, language
// and idle condition; the background layers and the built-in folders are never edited; a record
// whose kind is unknown or whose settings have the wrong types is shown as an "unknown" row that
// can be deleted and is otherwise kept as stored. Main thread only.
class KCConditionsManager : public QObject
{
    Q_OBJECT
public:
    using Outcome = KCLayerManager::Outcome;

    enum class Kind
    {
        Application,
        Modifier,
        CapsLock,
        Language,
        Idle,
        Unknown,
    };

    // One condition as the table shows it at rest.
    struct Row
    {
        Kind kind = Kind::Unknown;
        QString type = {};         // the record's "Type" as stored (empty when it has none)
        QVariantMap settings = {}; // its "Settings" (empty when they are not a dictionary)
        QString text = {};
        QImage icon = {}; // the application's or the language's; null for other kinds
    };

    // One entry of a menu.
    struct MenuEntry
    {
        enum class Role
        {
            Header,    // a disabled title
            Item,      // chooses `value`
            Separator, //
            Browse,    // "Browse Application...": chooseCustomApplication with a file the user picks
        };
        Role role = Role::Item;
        QString title = {};
        QString value = {}; // a "Type", an application identifier or a language number
        QImage icon = {};
        bool enabled = true;
        int indent = 0;
    };

    static constexpr int DefaultIdleSeconds = 60;
    static constexpr int MaxIdleSeconds = 24 * 60 * 60;
    static inline const QString FolderMimeType = QStringLiteral("inode/directory");

    KCConditionsManager(KCLayerManager &layers, ApplicationsHelper &applications, LanguagesHelper &languages,
                        QObject *parent = nullptr);
    ~KCConditionsManager() override;

    // The table follows the layer list's selection: call after every selection change. It also
    // follows undo and redo by itself.
    void rebuildConditionsTable();
    // Shows one item regardless of the selection (the tool, and the item just made).
    void showItem(const QString &identifier);
    // The item the table shows; empty when none (no or several rows selected).
    QString itemIdentifier() const { return m_item; }
    // "Nothing is selected", "Multiple selection", "(English language)", "No conditions" or empty.
    QString message() const { return m_message; }
    // One item of the user's tree is shown: rows may be added, changed and deleted.
    bool allowEditConditions() const { return m_allowEdit; }
    // The shown item's conditions as stored, and as rows.
    QVariantList currentConditions() const;
    QList<Row> rows() const;
    // Nothing beyond the end.
    std::optional<Row> row(int index) const;
    Row describe(const QVariant &record) const;

    // The menu that adds a condition: "New Condition With:", then the kinds; a kind the shown item
    // already has is disabled, as is every kind when nothing can be edited.
    QList<MenuEntry> conditionsMenu() const;
    // The toolbar's menu that makes a layer or group with a first condition ("" for none).
    static QList<MenuEntry> newItemMenu();
    // Running applications, then the installed ones that do not run, then "Browse Application...".
    QList<MenuEntry> applicationsMenu() const;
    // The session's input languages.
    QList<MenuEntry> languagesMenu() const;
    // The predicates of the application cell in its order; an empty value stands for a separator.
    static QList<MenuEntry> predicatesMenu();
    // The modifier cell's keys in its order.
    static QStringList modifierKeys();
    // "⌃" for "Control" and so on; empty for another name.
    static QString modifierSymbol(const QString &key);

    // "Settings" of a new condition of a kind; nothing for an unknown kind.
    std::optional<QVariantMap> newConditionSettings(const QString &type);
    // Whether a kind can be added to the shown item now (the conditions menu's rule).
    bool canAddCondition(const QString &type) const;

    // Edits of the shown item (the table's actions); Refused, with lastError(), for a row out of
    // range, an empty or unknown kind, a second single condition, settings of the wrong types, or
    // an item that cannot be edited.
    Outcome addNewCondition(const QString &type, const std::optional<QVariantMap> &settings = std::nullopt);
    Outcome changeCondition(int row, const QVariantMap &settings);
    Outcome deleteCondition(int row);
    // The same for a named item.
    Outcome addNewCondition(const QString &identifier, const QString &type,
                            const std::optional<QVariantMap> &settings);
    Outcome changeCondition(const QString &identifier, int row, const QVariantMap &settings);
    Outcome deleteCondition(const QString &identifier, int row);

    // The toolbar's new layer or group with a first condition of `type` ("" for none), in one
    // undoable edit. Gives the new item's identifier, which the table then shows (and flashes for
    // a condition); nothing when it failed (lastError()).
    std::optional<QString> createItemWithCondition(bool group, const QString &type);

    // "Browse Application...": adds the application a file describes to the known ones; its
    // identifier, also remembered as lastCustomApplication(); nothing when the file describes none.
    std::optional<QString> chooseCustomApplication(const QString &path);
    QString lastCustomApplication() const { return m_lastCustomApplication; }

    // What the layer list shows for an untitled item: from its first condition.
    QString autonameForLayer(const KCLayer &layer) const;
    QImage customizedIconForGroup(const KCLayer &layer) const;

    // Settings that fit a kind: the stored types of every key the driver reads. Empty when they
    // fit; else why not.
    static QString settingsProblem(Kind kind, const QVariantMap &settings);
    static Kind kindForType(const QString &type);
    static QString typeForKind(Kind kind);
    // Whether the kind may appear once per item only.
    static bool isSingle(Kind kind);
    // A 16 x 16 badge with the layout's short name: the language's icon.
    QImage languageIcon(int languageID) const;

    // Why the last edit was refused or failed.
    QString lastError() const { return m_lastError; }

signals:
    // The rows, the message or the menus' state changed: the table reloads.
    void conditionsChanged();
    // Draws the user's eye to the table: an item was just made with a condition.
    void flashTable();

private:
    Outcome edit(const QString &identifier, const std::function<Outcome(QVariantList &)> &change);
    Outcome refuse(const QString &why);
    QString applicationName(const QString &identifier) const;
    QString languageName(int identifier) const;
    MenuEntry applicationEntry(const QString &identifier) const;

    KCLayerManager &m_layers;
    ApplicationsHelper &m_applications;
    LanguagesHelper &m_languages;
    QString m_item;
    QString m_message;
    bool m_allowEdit = false;
    QString m_lastError;
    QString m_lastCustomApplication;
};

} // namespace brevona
