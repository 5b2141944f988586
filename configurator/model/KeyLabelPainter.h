#pragma once

#include <optional>

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

namespace brevona {

// Draws the text of a key picture (language characters, control-button labels) and finds the
// fonts for it. Sizes are pixel sizes: a key picture is 48 x 48 pixels whatever the screen.
//
// A family that is not installed falls back along a chain that never ends in nothing: the
// requested family, the system's sans font (DejaVu Sans on Debian), DejaVu Sans, then any
// installed family. Needs a QGuiApplication.
class KeyLabelPainter
{
public:
    // Sizes computed from a label's length never go below this.
    static constexpr int MinimumLegibleSize = 9;
    // The size of labels drawn without a font.
    static constexpr int DefaultSize = 25;

    // The family the session resolves "sans-serif" to.
    static QString systemSansFamily();
    // The first installed family of the chain that starts with `family`.
    static QString availableFamily(const QString &family);
    static bool hasFamily(const QString &family);
    // The font of a text key: the family (or its fallback), bold and italic faces, a whole pixel
    // size of at least 1.
    static QFont font(const QString &family, double size, bool bold = false, bool italic = false);
    // The sans system font at a pixel size.
    static QFont systemFont(double size);
    // `size` raised to MinimumLegibleSize.
    static int legibleSize(double size);

    // Fills `frame` with the background when one is given, then centres the text in it: a single
    // character the font has a glyph for is placed by its advance and the font's cap height, any
    // other text by its line box. No font means the system font at DefaultSize, an invalid text
    // colour white.
    static void drawLetter(QPainter &painter, const QString &text, const std::optional<QFont> &font,
                           const QColor &background, const QColor &textColor, const QRectF &frame);
};

} // namespace brevona
