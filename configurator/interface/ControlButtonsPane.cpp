#include "ControlButtonsPane.h"

#include <cmath>

#include <QButtonGroup>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

#include "KCControlButtonsManager.h"
#include "KCFontColorManager.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLayerManager.h"
#include "KeyColorsRow.h"
#include "KeyPreview.h"

namespace brevona {

ControlButtonsPane::ControlButtonsPane(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("controlButtonsPane"));
    auto *layout = new QHBoxLayout(this);
    m_keyPreview = new KeyPreview;
    m_keyPreview->setObjectName(QStringLiteral("controlKeyPreview"));
    layout->addWidget(m_keyPreview, 0, Qt::AlignTop);

    auto *form = new QFormLayout;
    m_chooser = new QWidget;
    m_chooser->setObjectName(QStringLiteral("symbolChooser"));
    m_chooser->setAccessibleName(tr("Labels"));
    m_chooser->setMinimumHeight(SymbolCellSide + 4);
    m_cells = new QHBoxLayout(m_chooser);
    m_cells->setContentsMargins(0, 0, 0, 0);
    m_cells->setSpacing(2);
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("symbolChooserMessage"));
    QFont bold = m_message->font();
    bold.setBold(true);
    m_message->setFont(bold);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setEnabled(false);
    m_cells->addWidget(m_message);
    m_symbols = new QButtonGroup(this);
    m_symbols->setExclusive(true);
    connect(m_symbols, &QButtonGroup::idClicked, this, [this](int index) {
        if (m_manager && index >= 0 && index < m_shownSymbols.size())
            m_manager->changeSymbol(m_shownSymbols.at(index));
        refresh();
    });
    form->addRow(tr("Label:"), m_chooser);

    m_size = new QSlider(Qt::Horizontal);
    m_size->setObjectName(QStringLiteral("controlSizeSlider"));
    m_size->setAccessibleName(tr("Text size"));
    m_size->setRange(int(KCFontColorManager::MinimumSize), int(KCFontColorManager::MaximumSize));
    m_size->setTracking(false);
    connect(m_size, &QSlider::valueChanged, this, [this](int value) {
        if (!m_refreshing && m_manager)
            m_manager->setIconSize(double(value));
    });
    form->addRow(tr("&Size:"), m_size);

    m_colors = new KeyColorsRow(tr("Reset the selected keys' size and colors"));
    m_colors->forwardTo(this, [this] { return m_manager.get(); });
    form->addRow(tr("Colors:"), m_colors);
    layout->addLayout(form, 1);
    refresh();
}

ControlButtonsPane::~ControlButtonsPane() = default;

void ControlButtonsPane::setLayerManager(KCLayerManager *manager)
{
    if (manager == m_layers)
        return;
    m_layers = manager;
    m_keys.clear();
    m_manager = manager ? std::make_unique<KCControlButtonsManager>(*manager) : nullptr;
    if (m_manager && m_active)
        m_manager->activate();
    refresh();
}

void ControlButtonsPane::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (m_manager) {
        if (active) {
            m_manager->activate();
            m_manager->keyboardViewSelectionDidChange(m_keys);
        } else {
            m_manager->deactivate();
        }
    }
    refresh();
}

void ControlButtonsPane::setSelectedKeys(const QStringList &keys)
{
    if (!m_active || !m_manager)
        return;
    m_keys = keys;
    // Also for the same keys: a label chosen or undone changes what the chooser offers.
    m_manager->keyboardViewSelectionDidChange(keys);
    refresh();
}

QList<QAbstractButton *> ControlButtonsPane::symbolCells() const
{
    return m_symbols->buttons();
}

void ControlButtonsPane::showChooser()
{
    const KCControlButtonsManager::Chooser chooser =
        m_manager ? m_manager->chooser()
                  : KCControlButtonsManager::Chooser{{}, {}, KCControlButtonsManager::NothingSelected};
    if (chooser.symbols != m_shownSymbols) {
        for (QAbstractButton *cell : m_symbols->buttons()) {
            m_symbols->removeButton(cell);
            delete cell;
        }
        m_shownSymbols = chooser.symbols;
        // Cells sit centred between the stretches around them.
        while (m_cells->count() > 1)
            delete m_cells->takeAt(m_cells->count() - 1);
        m_cells->addStretch();
        for (int i = 0; i < m_shownSymbols.size(); ++i) {
            auto *cell = new QToolButton;
            cell->setCheckable(true);
            cell->setFixedSize(SymbolCellSide, SymbolCellSide);
            cell->setText(m_shownSymbols.at(i));
            QFont font = cell->font();
            font.setPointSize(14);
            cell->setFont(font);
            cell->setAccessibleName(tr("Label %1").arg(m_shownSymbols.at(i)));
            m_symbols->addButton(cell, i);
            m_cells->addWidget(cell);
        }
        m_cells->addStretch();
    }
    const int selected = int(m_shownSymbols.indexOf(chooser.selected));
    if (QAbstractButton *cell = m_symbols->button(selected))
        cell->setChecked(true);
    m_message->setText(chooser.message);
    m_message->setVisible(!chooser.message.isEmpty());
}

void ControlButtonsPane::refresh()
{
    m_refreshing = true;
    const bool editable = m_manager && m_active && !m_manager->selectionEmpty();
    m_size->setEnabled(editable);
    m_colors->setEnabled(editable);
    showChooser();
    if (m_manager) {
        m_size->setValue(int(std::lround(m_manager->iconSize())));
        m_colors->setColors(m_manager->textColor(), m_manager->backgroundColor());
    }
    const auto layer = m_layers ? m_layers->keyboardDefaultLayer() : nullptr;
    const bool shown = layer && !m_keys.isEmpty() && m_layers->currentLayer() == layer;
    m_keyPreview->showPicture(shown ? layer->imageForButton(m_keys.first()) : QImage());
    m_refreshing = false;
}

} // namespace brevona
