#include "FontColorPane.h"

#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QStandardItemModel>

#include "KCFontColorManager.h"
#include "KCLanguageLayer.h"
#include "KCLayerManager.h"
#include "KeyColorsRow.h"
#include "KeyPreview.h"

namespace brevona {

namespace {

constexpr int PreviewPointSize = 25;
// Shown when the font cannot draw the layout's characters.
const QString UnknownSample(20, QLatin1Char('?'));

} // namespace

FontColorPane::FontColorPane(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("fontColorPane"));
    auto *layout = new QHBoxLayout(this);
    m_keyPreview = new KeyPreview;
    m_keyPreview->setObjectName(QStringLiteral("fontKeyPreview"));
    layout->addWidget(m_keyPreview, 0, Qt::AlignTop);

    auto *form = new QFormLayout;
    m_fonts = new QComboBox;
    m_fonts->setObjectName(QStringLiteral("fontMenu"));
    m_fonts->setAccessibleName(tr("Font"));
    connect(m_fonts, &QComboBox::activated, this, &FontColorPane::fontChosen);
    form->addRow(tr("&Font:"), m_fonts);

    auto *styles = new QHBoxLayout;
    m_bold = new QCheckBox(tr("&Bold"));
    m_bold->setAccessibleName(tr("Bold"));
    m_italic = new QCheckBox(tr("&Italic"));
    m_italic->setAccessibleName(tr("Italic"));
    connect(m_bold, &QCheckBox::toggled, this, &FontColorPane::fontChosen);
    connect(m_italic, &QCheckBox::toggled, this, &FontColorPane::fontChosen);
    styles->addWidget(m_bold);
    styles->addWidget(m_italic);
    styles->addStretch();
    form->addRow(QString(), styles);

    auto *size = new QHBoxLayout;
    m_sizeSlider = new QSlider(Qt::Horizontal);
    m_sizeSlider->setAccessibleName(tr("Text size"));
    m_sizeSlider->setRange(int(KCFontColorManager::MinimumSize), int(KCFontColorManager::MaximumSize));
    // One edit when the slider is let go, not one per step of the drag.
    m_sizeSlider->setTracking(false);
    connect(m_sizeSlider, &QSlider::valueChanged, this, [this](int value) {
        if (!m_refreshing && m_manager)
            m_manager->setFontSize(double(value));
        refresh();
    });
    m_sizeField = new QLineEdit;
    m_sizeField->setObjectName(QStringLiteral("fontSizeField"));
    m_sizeField->setAccessibleName(tr("Text size in points"));
    m_sizeField->setMaximumWidth(60);
    connect(m_sizeField, &QLineEdit::editingFinished, this, &FontColorPane::sizeTyped);
    size->addWidget(m_sizeSlider, 1);
    size->addWidget(m_sizeField);
    auto *sizeLabel = new QLabel(tr("&Size:"));
    sizeLabel->setBuddy(m_sizeField);
    form->addRow(sizeLabel, size);

    m_colors = new KeyColorsRow(tr("Reset the selected keys' fonts and colors"));
    m_colors->forwardTo(this, [this] { return m_manager.get(); });
    form->addRow(tr("Colors:"), m_colors);

    m_fontPreview = new QLabel;
    m_fontPreview->setObjectName(QStringLiteral("fontPreview"));
    m_fontPreview->setAccessibleName(tr("Font preview"));
    m_fontPreview->setMinimumHeight(48);
    form->addRow(m_fontPreview);
    layout->addLayout(form, 1);
    refresh();
}

FontColorPane::~FontColorPane() = default;

void FontColorPane::setLayerManager(KCLayerManager *manager)
{
    if (manager == m_layers)
        return;
    m_layers = manager;
    m_manager.reset();
    m_keys.clear();
    if (manager) {
        // Reading the installed fonts takes a moment: only for a store being edited.
        m_manager = std::make_unique<KCFontColorManager>(*manager, FontCatalogue::installed());
        m_manager->prepare();
        if (m_active)
            m_manager->activate();
        buildMenu();
    }
    refresh();
}

void FontColorPane::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (!m_manager)
        return;
    if (active) {
        m_manager->activate();
        buildMenu();
        m_manager->keyboardViewSelectionDidChange(m_keys);
    } else {
        m_manager->deactivate();
    }
    refresh();
}

void FontColorPane::setSelectedKeys(const QStringList &keys)
{
    if (!m_active || !m_manager)
        return;
    if (keys != m_keys) {
        m_keys = keys;
        m_manager->keyboardViewSelectionDidChange(keys);
    }
    refresh();
}

void FontColorPane::buildMenu()
{
    const QSignalBlocker blocker(m_fonts);
    m_fonts->clear();
    if (!m_manager)
        return;
    auto *model = qobject_cast<QStandardItemModel *>(m_fonts->model());
    for (const KCFontColorManager::MenuItem &item : m_manager->fontMenuItems()) {
        if (item.title.isEmpty()) {
            m_fonts->insertSeparator(m_fonts->count());
            continue;
        }
        m_fonts->addItem(item.title, item.family);
        if (item.family.isEmpty() && model)
            model->item(m_fonts->count() - 1)->setEnabled(false);
    }
}

void FontColorPane::refresh()
{
    m_refreshing = true;
    const bool editable = m_manager && m_active && !m_manager->selectionEmpty();
    for (QWidget *control : {static_cast<QWidget *>(m_fonts), static_cast<QWidget *>(m_sizeSlider),
                             static_cast<QWidget *>(m_sizeField), static_cast<QWidget *>(m_colors)})
        control->setEnabled(editable);
    if (m_manager) {
        const QSignalBlocker fonts(m_fonts);
        m_fonts->setCurrentIndex(m_fonts->findData(m_manager->family()));
        const KCFontColorManager::Boxes boxes = m_manager->boxes();
        const QSignalBlocker bold(m_bold);
        const QSignalBlocker italic(m_italic);
        m_bold->setEnabled(editable && boxes.boldEnabled);
        m_bold->setChecked(boxes.bold);
        m_italic->setEnabled(editable && boxes.italicEnabled);
        m_italic->setChecked(boxes.italic);
        const QSignalBlocker slider(m_sizeSlider);
        m_sizeSlider->setValue(int(std::lround(m_manager->fontSize())));
        m_sizeField->setText(QString::number(m_manager->fontSize(), 'g', 4));
        m_colors->setColors(m_manager->textColor(), m_manager->backgroundColor());

        const QString sample = m_manager->previewText();
        const auto member = m_manager->currentFont();
        QFont font;
        if (sample.isEmpty() || !member) {
            font.setBold(true);
        } else {
            font.setFamily(m_manager->family());
            font.setStyleName(member->style);
        }
        font.setPointSize(PreviewPointSize);
        m_fontPreview->setFont(font);
        m_fontPreview->setText(sample.isEmpty() ? UnknownSample : sample);
    } else {
        m_bold->setEnabled(false);
        m_italic->setEnabled(false);
        m_fontPreview->clear();
    }
    showKeyPreview();
    m_refreshing = false;
}

void FontColorPane::showKeyPreview()
{
    const auto layer =
        m_layers ? std::dynamic_pointer_cast<KCLanguageLayer>(m_layers->currentLayer()) : nullptr;
    m_keyPreview->showPicture(layer && !m_keys.isEmpty() ? layer->imageForButton(m_keys.first()) : QImage());
}

void FontColorPane::fontChosen()
{
    if (m_refreshing || !m_manager)
        return;
    const QString family = m_fonts->currentData().toString();
    if (!family.isEmpty())
        m_manager->changeFont(family, m_bold->isChecked(), m_italic->isChecked());
    refresh();
}

void FontColorPane::sizeTyped()
{
    if (!m_manager)
        return;
    const QString typed = m_sizeField->text().trimmed();
    bool number = false;
    const double value = typed.toDouble(&number);
    const std::optional<double> size = typed.isEmpty() ? std::nullopt : std::optional<double>(value);
    // Leaving the field unchanged is not an edit.
    if ((typed.isEmpty() || (number && std::isfinite(value))) &&
        KCFontColorManager::fittedSize(size) != m_manager->fontSize())
        m_manager->setFontSize(size);
    // Anything else is not a size: the field shows the size again.
    refresh();
}

} // namespace brevona
