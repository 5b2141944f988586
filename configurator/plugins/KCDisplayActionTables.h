#pragma once

#include <memory>

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "KCDisplayActionManager.h"

class QMimeData;

namespace brevona {

class KCKeyboardPreview;
class KCPluginManager;
class PreferencesStore;

// The two browsable plugin tables beside the display and action menus, without widgets: per side
// the categories the menus show, in their order, each holding its plugins two to a row; the
// pictures of a plugin (a small icon for its cell, a large one to drag); what dragging a cell
// carries; the double-click that puts a plugin on the selected keys (or on the empty key nearest
// the keyboard's centre); and which categories are open, kept across runs in the preferences.
// Main thread only.
class KCDisplayActionTables : public QObject
{
    Q_OBJECT
public:
    enum class Side
    {
        Display,
        Action,
    };

    static constexpr int Columns = 2;
    static constexpr int SmallIconSide = 24;
    // The plugin's icon in the large one: a 48 x 48 square this far into the frame.
    static constexpr int BigIconX = 5;
    static constexpr int BigIconY = 6;
    static constexpr int PrepareDelayMs = 100;
    static constexpr int FakeDragDelayMs = 10;
    static inline const QString UpdatedCategories =
        QStringLiteral("KCDisplayActionPluginsTableUpdatedCategories");

    // `preferences` may be null: the categories then all start open and nothing is kept.
    KCDisplayActionTables(KCPluginManager &catalogue, PreferencesStore *preferences,
                          QObject *parent = nullptr);
    ~KCDisplayActionTables() override;

    // Where a double-clicked plugin goes; either may be null (nothing is pasted then).
    void setDisplayActionManager(KCDisplayActionManager *manager);
    void setKeyboardPreview(KCKeyboardPreview *preview);

    // Builds the tables a moment later; they build again whenever the catalogue changes.
    void prepare();
    // The catalogue's categories again: caches emptied, categoriesUpdated() and the notification
    // "KCDisplayActionPluginsTableUpdatedCategories" sent.
    void pluginsInfoUpdated();

    // The outlines' contents. A category is given by its place among the side's categories.
    const QList<KCDisplayActionManager::PluginCategory> &categories(Side side) const;
    int numberOfPluginsInCategory(Side side, int category) const;
    // ceil(plugins / Columns).
    int numberOfRowsInCategory(Side side, int category) const;
    // The plugin of a cell: row x Columns + column; empty past the category's end or outside it.
    QString pluginIdForRow(Side side, int category, int row, int column) const;
    QString categoryTitle(Side side, int category) const;
    QString displayName(const QString &signature) const;
    QString description(const QString &signature) const;

    // What a dragged or double-clicked plugin carries: the entry "UnknownButton" with the
    // signature under "DisplayPlugin" or "ActionPlugin" (and for an action plugin its icon as
    // the picture of a key that has none). Nothing for a signature the catalogue does not know.
    std::unique_ptr<QMimeData> writePluginId(const QString &signature);
    // Of a cell; nothing for an empty cell.
    std::unique_ptr<QMimeData> dragData(Side side, int category, int row, int column);

    // The catalogue's icon on a black 24 x 24 square without its four corner pixels.
    QImage preparedIconForId(const QString &signature);
    // The item frame with the icon (or the unknown plugin's) 48 x 48 at (5, 6).
    QImage bigIconForPlugin(const QString &signature);

    // The double-click: the plugin is put on the keys a moment later; false when the signature
    // is unknown. pasted() tells how it went.
    bool fakeDragForPlugin(const QString &signature);
    // The keys a double-clicked plugin goes to: the selected ones, else the empty key nearest the
    // centre, else none.
    static QStringList doubleClickTargets(const QStringList &selected, const QString &emptyNearest);

    bool isCategoryExpanded(Side side, const QString &category) const;
    void setCategoryExpanded(Side side, const QString &category, bool expanded);

signals:
    void categoriesUpdated();
    // A double-clicked plugin was put on `keys`, or not (`error` says why).
    void pasted(KCDisplayActionManager::Outcome outcome, const QStringList &keys, const QString &error);

private:
    void delayedFakeDrag(const std::shared_ptr<QMimeData> &data);
    QImage iconOf(const QString &signature) const;
    QString preferenceKey(Side side) const;

    QImage m_itemMaskImage;
    QImage m_unknownIcon;
    KCPluginManager &m_catalogue;
    PreferencesStore *m_preferences;
    QList<KCDisplayActionManager::PluginCategory> m_displayCategories;
    QList<KCDisplayActionManager::PluginCategory> m_actionCategories;
    QPointer<KCDisplayActionManager> m_displayActionManager;
    KCKeyboardPreview *m_keyboardPreview = nullptr;
    QHash<QString, QImage> m_preparedIconsCache;
    QHash<QString, QImage> m_dragCachedPluginIcons;
};

} // namespace brevona
