#pragma once

#include <QColor>
#include <QImage>

namespace brevona {

class KeyTable;

// Draws the keyboard's pictures from the table, so that moving a key in the table moves it in
// every picture too.
class KeyboardArtist
{
public:
    enum class Finish
    {
        White,
        Black
    };

    explicit KeyboardArtist(const KeyTable &table);

    // The keyboard seen from above, 1312 x 376, in layer-picture coordinates: case, key caps and
    // the dark glass of every display ("LumivoxBrevonaWhite", "LumivoxBrevonaBlack").
    QImage background(Finish finish) const;
    // The drawing a user paints on in an image editor ("KeyboardDrawMask.tiff"): key outlines in
    // grey on black. The inside of every display cell stays pure black, so that re-importing an
    // untouched drawing adds no key.
    QImage drawMask() const;
    // The miniature keyboard of the layer list ("keyboardPreviewSmall.png").
    QImage miniPreview() const;
    // The picture a key shows while its real picture is still being read ("Loading48x48").
    static QImage loadingPlaceholder();
    // An all-black layer picture (the driver's "BlackLayer/Main.tiff").
    static QImage blackLayerPicture();

private:
    const KeyTable &m_table;
};

} // namespace brevona
