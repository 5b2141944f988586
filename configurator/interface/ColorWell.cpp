#include "ColorWell.h"

#include <QColorDialog>
#include <QPainter>

namespace brevona {

namespace {

QPointer<QColorDialog> sharedDialog;
QPointer<ColorWell> dialogOwner;

} // namespace

ColorWell::ColorWell(const QString &accessibleName, QWidget *parent)
    : QToolButton(parent)
{
    setAccessibleName(accessibleName);
    setToolTip(accessibleName);
    setIconSize(QSize(36, 18));
    connect(this, &QToolButton::clicked, this, &ColorWell::openDialog);
    setColor(Qt::black);
}

ColorWell::~ColorWell()
{
    if (dialogOwner == this && sharedDialog)
        sharedDialog->hide();
}

QColorDialog *ColorWell::dialog()
{
    if (!sharedDialog) {
        sharedDialog = new QColorDialog;
        sharedDialog->setAttribute(Qt::WA_DeleteOnClose, false);
        sharedDialog->setOption(QColorDialog::NoButtons);
        sharedDialog->setOption(QColorDialog::ShowAlphaChannel, false);
        sharedDialog->setWindowTitle(QColorDialog::tr("Colors"));
        sharedDialog->setAccessibleName(QColorDialog::tr("Colors"));
        QObject::connect(sharedDialog, &QColorDialog::currentColorChanged, [](const QColor &color) {
            if (!dialogOwner || color == dialogOwner->m_color)
                return;
            dialogOwner->setColor(color);
            emit dialogOwner->colorChosen(color);
        });
    }
    return sharedDialog;
}

void ColorWell::setColor(const QColor &color)
{
    m_color = color;
    paintSwatch();
    setAccessibleDescription(color.name());
    if (dialogOwner == this && sharedDialog && sharedDialog->currentColor() != color) {
        const QSignalBlocker blocker(sharedDialog);
        sharedDialog->setCurrentColor(color);
    }
}

void ColorWell::openDialog()
{
    QColorDialog *shown = dialog();
    dialogOwner = this;
    {
        const QSignalBlocker blocker(shown);
        shown->setCurrentColor(m_color);
    }
    shown->setWindowTitle(accessibleName());
    shown->show();
    shown->raise();
    shown->activateWindow();
}

void ColorWell::paintSwatch()
{
    QPixmap swatch(iconSize());
    swatch.fill(m_color);
    QPainter painter(&swatch);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    painter.end();
    setIcon(swatch);
}

} // namespace brevona
