#include "KCLumivoxImage.h"

#include <bit>
#include <cstring>
#include <exception>
#include <vector>

#include "DeviceLogging.h"

namespace brevona {

namespace {

constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;
// The encoder reads a pixel's bytes as blue, green, red, alpha and writes 16-bit values whose
// first byte in memory is the low one.
static_assert(std::endian::native == std::endian::little,
              "the display encoder assumes a little-endian machine");

// The free black pictures. Made on first use and never destroyed, so a picture released during the
// process's exit still finds its pool.
struct Pool
{
    std::mutex lock;
    std::vector<std::unique_ptr<KCLumivoxImage>> free;
    std::unique_ptr<KCLumivoxImage> blackEmptyImage;
    std::size_t size = 0;
};

void add10Locked(Pool &pool)
{
    for (int i = 0; i < 10; ++i) {
        auto picture = std::make_unique<KCLumivoxImage>(*pool.blackEmptyImage);
        picture->setBelongsToPool(true);
        pool.free.push_back(std::move(picture));
    }
    pool.size += 10;
}

Pool &pool()
{
    static Pool *const instance = [] {
        auto *created = new Pool;
        created->blackEmptyImage = std::make_unique<KCLumivoxImage>();
        add10Locked(*created);
        return created;
    }();
    return *instance;
}

// One row of premultiplied ARGB pixels to display values, already in the display's byte order.
// The pixels are read as pairs of 16-bit halves (green-blue, alpha-red) and every step is a plain
// 16-bit operation without branches, so the compiler turns the loop into vector instructions.
void encodeRow(const uchar *pixels, quint16 *__restrict out)
{
    quint16 halves[2 * KCLumivoxImage::Size];
    std::memcpy(halves, pixels, sizeof halves);
    for (int column = 0; column < KCLumivoxImage::Size; ++column) {
        const quint16 greenBlue = halves[2 * column];
        const quint16 alphaRed = halves[2 * column + 1];
        quint16 green = (greenBlue >> 5) & 0x07E0u;
        // The display's lowest green level is dropped: it shows as a green cast on black.
        green = green == 0x0020u ? 0u : green;
        const quint16 value = ((alphaRed << 8) & 0xF800u) | green | ((greenBlue >> 3) & 0x001Fu);
        // Most significant byte first in memory.
        out[column] = quint16((value >> 8) | (value << 8));
    }
}

} // namespace

KCLumivoxImage::KCLumivoxImage()
    : m_image(Size, Size, kFormat)
{
    m_image.fill(Qt::black);
}

KCLumivoxImage::KCLumivoxImage(const QImage &image)
    : m_image(normalized(image))
{}

KCLumivoxImage::KCLumivoxImage(const KCLumivoxImage &other)
{
    std::lock_guard guard(other.m_lock);
    m_image = other.m_image;
    m_oledBytes = other.m_oledBytes;
    m_oledBytesAreValid = other.m_oledBytesAreValid;
    m_cachedRotation = other.m_cachedRotation;
    m_rotateOledImage = other.m_rotateOledImage;
}

KCLumivoxImage::~KCLumivoxImage() = default;

std::shared_ptr<KCLumivoxImage> KCLumivoxImage::create(const QImage &image)
{
    auto *picture = image.isNull() ? new KCLumivoxImage() : new KCLumivoxImage(image);
    return std::shared_ptr<KCLumivoxImage>(picture, &KCLumivoxImage::release);
}

QImage KCLumivoxImage::normalized(const QImage &image)
{
    if (image.isNull()) {
        qCWarning(lcDevice) << "An empty picture is shown as black";
        QImage black(Size, Size, kFormat);
        black.fill(Qt::black);
        return black;
    }
    QImage result = image;
    if (result.size() != QSize(Size, Size)) {
        qCWarning(lcDevice, "A picture of %d x %d pixels is scaled to %d x %d", result.width(),
                  result.height(), Size, Size);
        result = result.scaled(Size, Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (result.format() != kFormat)
        result = result.convertToFormat(kFormat);
    return result;
}

// --- drawing

KCLumivoxImage::Focus::Focus(KCLumivoxImage &picture)
    : m_picture(picture)
    , m_lock(picture.m_lock)
{
    m_picture.invalidate();
}

KCLumivoxImage::Focus::~Focus()
{
    if (m_painter)
        m_painter->end();
    m_painter.reset();
    if (m_picture.m_image.size() != QSize(Size, Size) || m_picture.m_image.format() != kFormat)
        m_picture.m_image = normalized(m_picture.m_image);
    m_picture.invalidate();
}

QPainter &KCLumivoxImage::Focus::painter()
{
    if (!m_painter)
        m_painter.emplace(&m_picture.m_image);
    return *m_painter;
}

QImage &KCLumivoxImage::Focus::image()
{
    if (m_painter) {
        m_painter->end();
        m_painter.reset();
    }
    return m_picture.m_image;
}

KCLumivoxImage::Focus KCLumivoxImage::lockFocus()
{
    return Focus(*this);
}

void KCLumivoxImage::setImage(const QImage &image)
{
    QImage pixels = normalized(image);
    std::lock_guard guard(m_lock);
    m_image = std::move(pixels);
    invalidate();
}

QImage KCLumivoxImage::image() const
{
    std::lock_guard guard(m_lock);
    return m_image;
}

void KCLumivoxImage::invalidate()
{
    m_oledBytesAreValid = false;
}

// --- encoding

void KCLumivoxImage::encode(const QImage &image, bool rotated, unsigned char *out)
{
    Q_ASSERT(image.size() == QSize(Size, Size) && image.format() == kFormat);
    const uchar *bits = image.constBits();
    const qsizetype stride = image.bytesPerLine();
    quint16 line[Size];
    if (!rotated) {
        for (int row = 0; row < Size; ++row) {
            encodeRow(bits + stride * row, line);
            std::memcpy(out + row * sizeof line, line, sizeof line);
        }
        return;
    }
    // A quarter turn clockwise: the source's top-left pixel ends at the top-right, so source row y
    // becomes output column 47 - y, read from the top down.
    quint16 turned[Size * Size];
    for (int row = 0; row < Size; ++row) {
        encodeRow(bits + stride * row, line);
        const int column = Size - 1 - row;
        for (int outputRow = 0; outputRow < Size; ++outputRow)
            turned[outputRow * Size + column] = line[outputRow];
    }
    std::memcpy(out, turned, sizeof turned);
}

QByteArray KCLumivoxImage::oledData() const
{
    std::lock_guard guard(m_lock);
    if (!m_oledBytesAreValid || m_cachedRotation != m_rotateOledImage) {
        // Most pictures are never shown; their encoding buffer is made on first use.
        // A buffer still shared with an earlier caller is replaced rather than detached: the
        // detach would copy bytes that are about to be overwritten.
        if (m_oledBytes.size() != OledDataSize || !m_oledBytes.isDetached())
            m_oledBytes = QByteArray(OledDataSize, Qt::Uninitialized);
        encode(m_image, m_rotateOledImage, reinterpret_cast<unsigned char *>(m_oledBytes.data()));
        m_cachedRotation = m_rotateOledImage;
        m_oledBytesAreValid = true;
    }
    return m_oledBytes;
}

QByteArray KCLumivoxImage::oledData(bool rotated)
{
    std::lock_guard guard(m_lock);
    m_rotateOledImage = rotated;
    return oledData();
}

void KCLumivoxImage::setRotateOLEDImage(bool rotate)
{
    std::lock_guard guard(m_lock);
    m_rotateOledImage = rotate;
}

bool KCLumivoxImage::rotateOLEDImage() const
{
    std::lock_guard guard(m_lock);
    return m_rotateOledImage;
}

bool KCLumivoxImage::isEqual(const KCLumivoxImage &other) const
{
    if (&other == this)
        return true;
    return oledData() == other.oledData();
}

bool KCLumivoxImage::belongsToPool() const
{
    std::lock_guard guard(m_lock);
    return m_belongsToPool;
}

void KCLumivoxImage::setBelongsToPool(bool belongs)
{
    std::lock_guard guard(m_lock);
    m_belongsToPool = belongs;
}

// --- pool

std::shared_ptr<KCLumivoxImage> KCLumivoxImage::blackImage()
{
    Pool &shared = pool();
    std::unique_ptr<KCLumivoxImage> picture;
    {
        std::lock_guard guard(shared.lock);
        if (shared.free.empty())
            add10Locked(shared);
        picture = std::move(shared.free.back());
        shared.free.pop_back();
    }
    return std::shared_ptr<KCLumivoxImage>(picture.release(), &KCLumivoxImage::release);
}

void KCLumivoxImage::push(std::unique_ptr<KCLumivoxImage> picture)
{
    if (!picture)
        return;
    bool joins = false;
    {
        Focus focus = picture->lockFocus();
        focus.image().fill(Qt::black);
        joins = !picture->m_belongsToPool;
        picture->m_belongsToPool = true;
    }
    Pool &shared = pool();
    std::lock_guard guard(shared.lock);
    shared.free.push_back(std::move(picture));
    if (joins)
        ++shared.size;
}

void KCLumivoxImage::add10()
{
    Pool &shared = pool();
    std::lock_guard guard(shared.lock);
    add10Locked(shared);
}

std::size_t KCLumivoxImage::freePoolCount()
{
    Pool &shared = pool();
    std::lock_guard guard(shared.lock);
    return shared.free.size();
}

std::size_t KCLumivoxImage::poolSize()
{
    Pool &shared = pool();
    std::lock_guard guard(shared.lock);
    return shared.size;
}

void KCLumivoxImage::release(KCLumivoxImage *picture)
{
    if (picture->belongsToPool())
        push(std::unique_ptr<KCLumivoxImage>(picture));
    else
        delete picture;
}

} // namespace brevona

namespace brevona {

void KCLumivoxImage::paint(const std::function<void(QPainter &)> &draw)
{
    Focus focus = lockFocus();
    // Plugin code, often on a plugin's own thread where nothing else would catch: what it drew
    // before failing stays.
    try {
        draw(focus.painter());
    } catch (const std::exception &error) {
        qCWarning(lcDevice).noquote()
            << "exception while a plugin was drawing:" << QString::fromLocal8Bit(error.what());
    } catch (...) {
        qCWarning(lcDevice).noquote() << "exception while a plugin was drawing: unknown exception";
    }
}

} // namespace brevona
