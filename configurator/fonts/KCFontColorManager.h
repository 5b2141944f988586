#pragma once

#include <functional>
#include <optional>

#include <QColor>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>

#include "FontCatalogue.h"
#include "KCLayerManager.h"

namespace brevona {

class KCLanguageLayer;

// The fonts and colours of the selected keys of the current language layer, without the widgets:
// the page binds its controls to this state. Every change is stored through the layer manager as
// one undoable edit (the language layer's picture under its current modifier keys is drawn again,
// its "Defaults" layer rewritten, then "ButtonsChanged" sent); changes made within one pass of
// the event loop become one edit. Main thread only.
class KCFontColorManager : public QObject
{
    Q_OBJECT
public:
    static constexpr double MinimumSize = 8.0;
    static constexpr double MaximumSize = 48.0;
    // What an emptied size field means.
    static constexpr double EmptySize = 20.0;
    static inline const QString IncompatibleTitle = QStringLiteral("Uncompatible Fonts:");
    static inline const QString IncompatiblePrefix = QStringLiteral("\u2718 ");

    struct MenuItem
    {
        QString title;
        QString family; // empty for the separator and the title of the incompatible part
        bool enabled = true;
        bool operator==(const MenuItem &) const = default;
    };
    // One item per family; with `canUse`, those it refuses follow after a separator and the
    // disabled title, marked.
    static QList<MenuItem> fontMenu(const QStringList &families,
                                    const std::function<bool(const QString &)> &canUse);

    struct Boxes
    {
        bool boldEnabled = false;
        bool italicEnabled = false;
        bool bold = false;
        bool italic = false;
        bool operator==(const Boxes &) const = default;
    };
    // A box is offered only when the family has such a member, and is cleared when it is not; a
    // family whose drawn member is bold anyway has its bold box on.
    static Boxes validateBoxes(const FontCatalogue &catalogue, const QString &family, bool bold, bool italic);
    // A typed size: nothing (an emptied field) is EmptySize, others are held within the limits.
    static double fittedSize(std::optional<double> typed);

    KCLayerManager::Outcome lastOutcome() const { return m_lastOutcome; }

    KCFontColorManager(KCLayerManager &manager, FontCatalogue catalogue, QObject *parent = nullptr);

    // The families with a plain member, and the initial values.
    void prepare();
    // The page shows: the menu is rebuilt for the current layer.
    void activate();
    void deactivate();
    bool active() const { return m_active; }
    const QList<MenuItem> &fontMenuItems() const { return m_menu; }

    // The keyboard view's selection, on the current layer.
    void keyboardViewSelectionDidChange(const QStringList &keys);
    bool selectionEmpty() const { return m_selection.isEmpty(); }

    void changeFont(const QString &family, bool bold, bool italic);
    void setFontSize(std::optional<double> typed);
    void setTextColor(const QColor &color);
    void setBackgroundColor(const QColor &color);
    // The selected keys lose their overrides; the controls show the defaults again.
    void resetAttributes();
    // Applies the changes waiting for the next pass now.
    void applyPending();

    QString family() const { return m_family; }
    double fontSize() const { return m_fontSize; }
    Boxes boxes() const { return m_boxes; }
    QColor textColor() const { return m_textColor; }
    QColor backgroundColor() const { return m_backgroundColor; }
    // The member that draws the keys now.
    std::optional<FontCatalogue::Member> currentFont() const { return m_currentFont; }
    // The font preview's text; empty when the font cannot draw it.
    QString previewText() const;

private:
    std::shared_ptr<KCLanguageLayer> languageLayer() const;
    void rebuildFont();
    void loadFromKey();
    void updateButtonAttributes(const QStringList &names);

    KCLayerManager &m_manager;
    FontCatalogue m_catalogue;
    QStringList m_families;
    QList<MenuItem> m_menu;
    QStringList m_selection;
    bool m_active = false;
    bool m_dontUpdateAttributes = false;
    QString m_family;
    double m_fontSize = 25.0;
    Boxes m_boxes;
    QColor m_textColor = Qt::white;
    QColor m_backgroundColor = Qt::black;
    std::optional<FontCatalogue::Member> m_currentFont;
    QSet<QString> m_pending;
    bool m_pendingReset = false;
    bool m_scheduled = false;
    KCLayerManager::Outcome m_lastOutcome = KCLayerManager::Outcome::Done;
};

} // namespace brevona
