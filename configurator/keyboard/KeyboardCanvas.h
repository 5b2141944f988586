#pragma once

#include <map>
#include <utility>
#include <vector>

#include <QImage>
#include <QRect>
#include <QString>

namespace brevona {

class KeyboardGeometry;

// The drawing cache of the on-screen keyboard: one transparent image of the background's size
// holding a placeholder for every key without a picture and the framed picture of every other
// key, so that repainting the view copies this image instead of drawing keys. It may hold more
// than one pixel per image pixel (its resolution), so that it stays sharp on dense screens; it is
// addressed in image pixels all the same.
class KeyboardCanvas
{
public:
    explicit KeyboardCanvas(const KeyboardGeometry &geometry);

    // Pixels per image pixel, 1 to 4; a change redraws every key.
    void setResolution(int resolution);
    int resolution() const { return m_resolution; }
    // In image pixels through its device pixel ratio.
    const QImage &image() const { return m_image; }

    bool hasPicture(int key) const;
    QImage picture(int key) const;
    // Stores a key's picture and draws the key again; a null picture brings its placeholder back.
    void setPicture(int key, const QImage &picture);
    // Every key back to its placeholder.
    void clearPictures();
    // Every key's picture at once, by key index (a null picture: the placeholder), drawn once.
    void setPictures(std::vector<QImage> pictures);
    // Draws every key again.
    void redraw();

    // The area a key's drawing covers, in image pixels: its outside rectangle with the frame.
    QRect drawnArea(int key) const;
    // The placeholder of a key of `size` image pixels, labelled with `label` (empty: none), at
    // `resolution` pixels per image pixel.
    static QImage placeholder(QSize size, const QString &label, int resolution);
    // The label a key's placeholder carries: the name of a one-character key or an "F" key.
    static QString placeholderLabel(const QString &keyName);

private:
    void drawKey(QPainter &painter, int key);
    const QImage &placeholderFor(int key);

    const KeyboardGeometry &m_geometry;
    int m_resolution = 1;
    QImage m_image;
    std::vector<QImage> m_pictures;
    // Placeholders made so far: by size and label.
    std::map<std::pair<std::pair<int, int>, QString>, QImage> m_placeholders;
};

} // namespace brevona
