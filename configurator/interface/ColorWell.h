#pragma once

#include <QColor>
#include <QPointer>
#include <QToolButton>

class QColorDialog;

namespace brevona {

// A button showing a colour that opens the colour dialog without blocking the window: the keys
// follow the dialog's colour while it moves, and the dialog stays open while the user picks keys.
// All wells of a window share one dialog, which edits the well that opened it last.
class ColorWell : public QToolButton
{
    Q_OBJECT
public:
    explicit ColorWell(const QString &accessibleName, QWidget *parent = nullptr);
    ~ColorWell() override;

    QColor color() const { return m_color; }
    // Shows `color` without announcing it.
    void setColor(const QColor &color);
    // The shared dialog, made on first use.
    static QColorDialog *dialog();

signals:
    // The user chose a colour in the dialog.
    void colorChosen(const QColor &color);

private:
    void openDialog();
    void paintSwatch();

    QColor m_color;
};

} // namespace brevona
