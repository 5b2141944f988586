#pragma once

#include <QColor>
#include <QWidget>

namespace brevona {

class ColorWell;

// The text and background colours of the selected keys with a button that takes back what the
// user changed of them, as the fonts and the control-label pages show it.
class KeyColorsRow : public QWidget
{
    Q_OBJECT
public:
    explicit KeyColorsRow(const QString &resetName, QWidget *parent = nullptr);

    // Shows the colours without announcing them.
    void setColors(const QColor &text, const QColor &background);
    ColorWell *textWell() const { return m_text; }
    ColorWell *backgroundWell() const { return m_background; }

signals:
    void textColorChosen(const QColor &color);
    void backgroundColorChosen(const QColor &color);
    void resetRequested();

private:
    ColorWell *m_text = nullptr;
    ColorWell *m_background = nullptr;
};

} // namespace brevona
