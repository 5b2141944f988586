#pragma once

#include <functional>

#include <QImage>

class QPainter;

// The 48 x 48 picture of one key as a plugin sees it. The host reads it from the main thread while
// a plugin may draw from its own thread: every access goes through these calls, which hold the
// picture's own lock for their whole duration.
class KCPluginImage
{
public:
    static constexpr int Size = 48;

    // Draws with a painter set up on the picture's 48 x 48 pixels.
    virtual void paint(const std::function<void(QPainter &)> &draw) = 0;
    // Replaces the pixels; a picture of another size is scaled to 48 x 48.
    virtual void setImage(const QImage &image) = 0;
    // A copy of the pixels.
    virtual QImage image() const = 0;

protected:
    ~KCPluginImage() = default;
};
