#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QImage>
#include <QPainter>

#include "KCPluginImage.h"
#include "VolumeLayout.h"

namespace brevona {

// The picture of one key display: 48 x 48 pixels that can be drawn into from any thread, and the
// 4608-byte form the keyboard's display files take (RGB 5-6-5, most significant byte first), cached
// until the next drawing. Every drawing and every encoding holds the picture's own lock.
//
// The pixels are always 48 x 48 in premultiplied ARGB: a picture of another size or format is
// scaled and converted when it comes in, so the encoding never reads past a row. Alpha is not shown
// by the display; a pixel shows the colour it has over black, which is what premultiplied values
// hold.
//
// Pictures are shared through std::shared_ptr. Those made by create() or blackImage() honour the
// pool: when the last holder of a pool picture lets go, the picture is blackened and returned to
// the pool of free black pictures instead of being destroyed.
class KCLumivoxImage final : public KCPluginImage
{
public:
    static constexpr int Size = volumelayout::DisplaySide;
    static constexpr int OledDataSize = volumelayout::DisplayFileSize;

    // A black picture.
    KCLumivoxImage();
    explicit KCLumivoxImage(const QImage &image);
    // The copy is never a pool picture.
    KCLumivoxImage(const KCLumivoxImage &other);
    KCLumivoxImage &operator=(const KCLumivoxImage &) = delete;
    ~KCLumivoxImage();

    // A shared picture whose last release follows the pool rule.
    static std::shared_ptr<KCLumivoxImage> create(const QImage &image = QImage());

    // Drawing into the picture: holds the picture's lock for its lifetime and invalidates the
    // cached encoding. Use the painter or the pixels directly; pixels left in another size or
    // format are brought back to 48 x 48 when the scope ends.
    class Focus
    {
    public:
        ~Focus();
        Focus(const Focus &) = delete;
        Focus &operator=(const Focus &) = delete;

        QPainter &painter();
        QImage &image();

    private:
        friend class KCLumivoxImage;
        explicit Focus(KCLumivoxImage &picture);

        KCLumivoxImage &m_picture;
        std::unique_lock<std::recursive_mutex> m_lock;
        std::optional<QPainter> m_painter;
    };
    Focus lockFocus();

    // Replaces all pixels.
    void setImage(const QImage &image) override;
    // A copy of the pixels.
    QImage image() const override;
    // Draws under the picture's lock; what plugins use.
    void paint(const std::function<void(QPainter &)> &draw) override;

    // The display encoding of the picture as it is now, turned a quarter clockwise when the
    // rotation flag is set. Computed on first use after a drawing, then served from the cache.
    QByteArray oledData() const;
    // Sets the rotation flag and encodes in one step, so no other thread's flag slips in between.
    QByteArray oledData(bool rotated);
    void setRotateOLEDImage(bool rotate);
    bool rotateOLEDImage() const;

    // Two pictures are equal when their display encodings are byte-identical.
    bool isEqual(const KCLumivoxImage &other) const;
    bool operator==(const KCLumivoxImage &other) const { return isEqual(other); }

    bool belongsToPool() const;
    void setBelongsToPool(bool belongs);

    // The encoding rule on its own, for a 48 x 48 premultiplied ARGB picture: writes 4608 bytes.
    static void encode(const QImage &image, bool rotated, unsigned char *out);

    // The pool of free black pictures. blackImage takes one (the pool grows by ten when it is
    // empty); push blackens a picture and adds it to the pool; add10 grows the pool.
    static std::shared_ptr<KCLumivoxImage> blackImage();
    static void push(std::unique_ptr<KCLumivoxImage> picture);
    static void add10();
    static std::size_t freePoolCount();
    // Every picture the pool has taken on, free or in use.
    static std::size_t poolSize();

private:
    static void release(KCLumivoxImage *picture);
    static QImage normalized(const QImage &image);
    void invalidate();

    mutable std::recursive_mutex m_lock;
    QImage m_image;
    mutable QByteArray m_oledBytes;
    mutable bool m_oledBytesAreValid = false;
    // The rotation the cached encoding was made with: a picture shown on a turned display and then
    // on an upright one must not keep the turned bytes.
    mutable bool m_cachedRotation = false;
    bool m_rotateOledImage = false;
    bool m_belongsToPool = false;
};

} // namespace brevona
