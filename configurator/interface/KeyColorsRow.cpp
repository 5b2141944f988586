#include "KeyColorsRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "ColorWell.h"

namespace brevona {

KeyColorsRow::KeyColorsRow(const QString &resetName, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_text = new ColorWell(tr("Text color"));
    m_background = new ColorWell(tr("Background color"));
    connect(m_text, &ColorWell::colorChosen, this, &KeyColorsRow::textColorChosen);
    connect(m_background, &ColorWell::colorChosen, this, &KeyColorsRow::backgroundColorChosen);
    layout->addWidget(new QLabel(tr("Text:")));
    layout->addWidget(m_text);
    layout->addSpacing(12);
    layout->addWidget(new QLabel(tr("Background:")));
    layout->addWidget(m_background);
    layout->addStretch();
    auto *reset = new QPushButton(tr("&Reset"));
    reset->setAccessibleName(resetName);
    connect(reset, &QPushButton::clicked, this, &KeyColorsRow::resetRequested);
    layout->addWidget(reset);
}

void KeyColorsRow::setColors(const QColor &text, const QColor &background)
{
    m_text->setColor(text);
    m_background->setColor(background);
}

} // namespace brevona
