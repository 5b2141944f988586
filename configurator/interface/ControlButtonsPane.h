#pragma once

#include <memory>

#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QHBoxLayout;
class QLabel;
class QSlider;

namespace brevona {

class KeyColorsRow;
class KeyPreview;
class KCControlButtonsManager;
class KCLayerManager;

// The "Control Buttons" page of the keyboard's default layer: a row of the labels the selected
// keys can show, their text size and colours, and a preview of the first key. The controls only
// speak to the control buttons manager, which stores the values and tells the driver.
class ControlButtonsPane : public QWidget
{
    Q_OBJECT
public:
    static constexpr int SymbolCellSide = 39;

    explicit ControlButtonsPane(QWidget *parent = nullptr);
    ~ControlButtonsPane() override;

    void setLayerManager(KCLayerManager *manager);
    KCControlButtonsManager *manager() const { return m_manager.get(); }
    void setActive(bool active);
    void setSelectedKeys(const QStringList &keys);

    // The label cells, in the chooser's order; empty while the chooser shows a message.
    QList<QAbstractButton *> symbolCells() const;
    QLabel *chooserMessage() const { return m_message; }
    QSlider *sizeSlider() const { return m_size; }
    KeyColorsRow *colors() const { return m_colors; }

private:
    void refresh();
    void showChooser();

    KCLayerManager *m_layers = nullptr;
    std::unique_ptr<KCControlButtonsManager> m_manager;
    QStringList m_keys;
    bool m_active = false;
    bool m_refreshing = false;
    QStringList m_shownSymbols;
    KeyPreview *m_keyPreview = nullptr;
    QWidget *m_chooser = nullptr;
    QHBoxLayout *m_cells = nullptr;
    QButtonGroup *m_symbols = nullptr;
    QLabel *m_message = nullptr;
    QSlider *m_size = nullptr;
    KeyColorsRow *m_colors = nullptr;
};

} // namespace brevona
