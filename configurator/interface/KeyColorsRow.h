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

    // Hands the row's choices to the editor `current()` gives at the time (none: they go nowhere);
    // any editor with setTextColor, setBackgroundColor and resetAttributes.
    template<typename Current> void forwardTo(QObject *context, Current current)
    {
        connect(this, &KeyColorsRow::textColorChosen, context, [current](const QColor &color) {
            if (auto *editor = current())
                editor->setTextColor(color);
        });
        connect(this, &KeyColorsRow::backgroundColorChosen, context, [current](const QColor &color) {
            if (auto *editor = current())
                editor->setBackgroundColor(color);
        });
        connect(this, &KeyColorsRow::resetRequested, context, [current] {
            if (auto *editor = current())
                editor->resetAttributes();
        });
    }

signals:
    void textColorChosen(const QColor &color);
    void backgroundColorChosen(const QColor &color);
    void resetRequested();

private:
    ColorWell *m_text = nullptr;
    ColorWell *m_background = nullptr;
};

} // namespace brevona
