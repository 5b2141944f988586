// A display plugin that plays the animated GIF or WebP file named by its "filePath" setting: each
// frame, scaled into the key, stays for as long as the file says, and the animation repeats as
// often as the file says (for ever, for most). The editor gives it to a key when an animation file
// is dropped on the key.
//
// Frames are decoded when they are first due, on the thread that shows them, and kept scaled to
// the key, so a loop after the first costs no decoding. An animation longer than MaximumKeptFrames
// is decoded afresh on every loop instead, so that no file makes a key hold much memory. A file
// that cannot be read leaves the key as it is and says so once; a file broken in the middle plays
// the frames before the break.
#include <memory>
#include <vector>

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <KCPluginButtonProtocol.h>
#include <KCPluginImage.h>
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {

Q_LOGGING_CATEGORY(lcAnimation, "brevona.plugin.animation")

// About 2.3 MB of frames a key.
constexpr std::size_t MaximumKeptFrames = 256;

// Delays this short are, in practice, files that leave the delay out; they play at the pace
// browsers give them rather than as fast as the keyboard takes pictures.
int frameDelay(int milliseconds)
{
    return milliseconds > 10 ? milliseconds : 100;
}

class AnimationPlugin : public KCPluginProtocol
{
public:
    explicit AnimationPlugin(KCPluginButtonProtocol *button)
        : m_button(button)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { showNextFrame(); });
    }

    unsigned operations() const override
    {
        return SetValueForKey | SetValuesForKeys | Activate | ValueForKey | ValidateValue;
    }

    void setValue(const QVariant &value, const QString &key) override
    {
        if (key != QLatin1String("filePath"))
            return;
        m_path = value.toString();
        open();
        if (m_active)
            play();
    }

    QVariant valueForKey(const QString &key) const override
    {
        return key == QLatin1String("filePath") ? QVariant(m_path) : QVariant();
    }

    // The driver may run in another folder than the editor: only absolute paths are stored. A file
    // dropped or pasted as a URL is stored as its path.
    bool validateValue(QVariant &value, const QString &key) override
    {
        if (key != QLatin1String("filePath"))
            return true;
        QString path = value.toString().trimmed();
        if (const QUrl url(path); url.isLocalFile())
            path = url.toLocalFile();
        if (!QDir::isAbsolutePath(path))
            return false;
        value = QDir::cleanPath(path);
        return true;
    }

    void activate() override
    {
        m_active = true;
        play();
    }

    void deactivate() override
    {
        m_active = false;
        m_timer.stop();
    }

private:
    struct Frame
    {
        QImage picture; // at most 48 x 48, in the file's proportions
        int delay = 0;  // milliseconds
    };

    // Forgets what was decoded and starts reading the file anew.
    void open()
    {
        m_timer.stop();
        m_frames.clear();
        m_streaming = false;
        m_next = 0;
        m_reader.reset();
        if (m_path.isEmpty())
            return;
        m_reader = std::make_unique<QImageReader>(m_path);
        if (!m_reader->canRead()) {
            fail();
            return;
        }
        m_loops = m_reader->loopCount();
    }

    bool reopen()
    {
        m_reader = std::make_unique<QImageReader>(m_path);
        if (m_reader->canRead())
            return true;
        fail();
        return false;
    }

    void fail()
    {
        qCWarning(lcAnimation).noquote()
            << QStringLiteral("Cannot play the animation %1: %2").arg(m_path, m_reader->errorString());
        m_reader.reset();
        m_frames.clear();
        m_streaming = false;
    }

    // From the first frame, with all the repeats the file asks for.
    void play()
    {
        m_timer.stop();
        m_next = 0;
        m_playsLeft = m_loops;
        if (m_streaming && !reopen())
            return;
        showNextFrame();
    }

    void showNextFrame()
    {
        if (!m_active)
            return;
        const Frame *frame = nextFrame();
        if (!frame)
            return;
        m_button->getImage()->paint([&](QPainter &painter) {
            painter.fillRect(0, 0, KCPluginImage::Size, KCPluginImage::Size, Qt::black);
            painter.drawImage((KCPluginImage::Size - frame->picture.width()) / 2,
                              (KCPluginImage::Size - frame->picture.height()) / 2, frame->picture);
        });
        m_button->update();
        m_timer.start(frame->delay);
    }

    // The frame due now; nothing once the animation has ended (on its last frame) or cannot be
    // read.
    const Frame *nextFrame()
    {
        if (!m_streaming && m_next < m_frames.size())
            return &m_frames[m_next++];
        if (m_reader) {
            const QImage image = m_reader->read();
            if (!image.isNull()) {
                Frame frame{image.scaled(KCPluginImage::Size, KCPluginImage::Size, Qt::KeepAspectRatio,
                                         Qt::SmoothTransformation),
                            frameDelay(m_reader->nextImageDelay())};
                ++m_next;
                if (!m_streaming && m_frames.size() == MaximumKeptFrames) {
                    m_frames.clear();
                    m_streaming = true;
                }
                if (m_streaming) {
                    m_current = std::move(frame);
                    return &m_current;
                }
                m_frames.push_back(std::move(frame));
                return &m_frames.back();
            }
            // The end of the file, or a frame broken after good ones: what came before it is the
            // animation. Nothing readable at all is a file that does not load.
            if (m_next == 0) {
                fail();
                return nullptr;
            }
            m_reader.reset();
        }
        // A single picture stays; the last play ends on its last frame.
        if (m_next <= 1 || m_playsLeft == 0)
            return nullptr;
        if (m_playsLeft > 0)
            --m_playsLeft;
        m_next = 0;
        if (m_streaming && !reopen())
            return nullptr;
        return nextFrame();
    }

    KCPluginButtonProtocol *m_button;
    QString m_path;
    QTimer m_timer;
    bool m_active = false;
    std::unique_ptr<QImageReader> m_reader; // while frames remain to be decoded
    std::vector<Frame> m_frames;            // the frames decoded so far, unless streaming
    bool m_streaming = false;               // too long to keep: decoded on every loop
    Frame m_current;                        // the frame shown while streaming
    std::size_t m_next = 0;                 // the frame due next in this play
    int m_loops = 0;                        // repeats after the first play; -1 for ever
    int m_playsLeft = 0;
};

KCPluginProtocol *createAnimation(KCPluginButtonProtocol *button)
{
    return new AnimationPlugin(button);
}

} // namespace

BREVONA_PLUGIN_MODULE("BrevonaDisplayGeneralAnimation", nullptr,
                      {{"BrevonaDisplayGeneralAnimation", &createAnimation}})
