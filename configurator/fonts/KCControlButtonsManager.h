#pragma once

#include <optional>

#include <QColor>
#include <QObject>
#include <QStringList>

#include "KCLayerManager.h"

namespace brevona {

class KCKeyboardDefaultLayer;

// The labels, text size and colours of the selected control keys, without the widgets. A chosen
// label is one undoable edit at once; size and colour changes within one pass of the event loop
// become one edit. Each edit draws the control-buttons picture again, rewrites its "Defaults"
// layer and sends "ButtonsChanged" for the keys that changed. Main thread only.
class KCControlButtonsManager : public QObject
{
    Q_OBJECT
public:
    static inline const QString NothingSelected = QStringLiteral("Nothing is selected");
    static inline const QString MultipleSelection = QStringLiteral("Multiple selection");

    // What the label chooser shows: the labels with one of them selected, or a message instead.
    struct Chooser
    {
        QStringList symbols;
        QString selected;
        QString message;
        bool operator==(const Chooser &) const = default;
    };
    // Several keys share the chooser only when they offer the same labels.
    static Chooser chooserFor(const KCKeyboardDefaultLayer &layer, const QStringList &keys);

    explicit KCControlButtonsManager(KCLayerManager &manager, QObject *parent = nullptr);

    // The page shows: the controls take the defaults without storing anything.
    void activate();
    void deactivate();

    void keyboardViewSelectionDidChange(const QStringList &keys);
    bool selectionEmpty() const { return m_selection.isEmpty(); }
    const Chooser &chooser() const { return m_chooser; }
    QString previewLabel() const { return m_previewLabel; }

    // The chooser's click: every selected key shows `label`.
    KCLayerManager::Outcome changeSymbol(const QString &label);
    void setIconSize(double size);
    void setTextColor(const QColor &color);
    void setBackgroundColor(const QColor &color);
    // The selected keys lose their stored attributes (not their labels).
    void resetAttributes();
    // Applies the change waiting for the next pass now.
    void applyPending();
    KCLayerManager::Outcome lastOutcome() const { return m_lastOutcome; }

    double iconSize() const { return m_iconSize; }
    QColor textColor() const { return m_textColor; }
    QColor backgroundColor() const { return m_backgroundColor; }

private:
    void loadFromKey();
    void updateButtonAttributes(const QString &name);

    KCLayerManager &m_manager;
    QStringList m_selection;
    Chooser m_chooser;
    QString m_previewLabel;
    bool m_active = false;
    bool m_dontUpdateAttributes = false;
    double m_iconSize = 25.0;
    QColor m_textColor = Qt::white;
    QColor m_backgroundColor = Qt::black;
    std::optional<QString> m_pending; // the attribute to store; empty for a reset
    KCLayerManager::Outcome m_lastOutcome = KCLayerManager::Outcome::Done;
};

} // namespace brevona
