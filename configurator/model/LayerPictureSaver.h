#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include <QImage>
#include <QString>
#include <QTimer>

namespace brevona {

class KCLayer;
class LayerPictureWriter;

// Turns a burst of picture edits into one write per layer picture: a save waits `delay` after the
// last change, then the picture is drawn on the main thread and handed to the writer.
//
// A pending save is keyed by the layer and, for a language layer, the modifier key: the same key
// restarts the delay, another key first carries out the pending save at once. So editing the Shift
// picture of a language and then its Opt picture within the delay writes both files.
class LayerPictureSaver
{
public:
    explicit LayerPictureSaver(LayerPictureWriter &writer,
                               std::chrono::milliseconds delay = std::chrono::seconds(1));
    // Carries out the pending save.
    ~LayerPictureSaver();
    LayerPictureSaver(const LayerPictureSaver &) = delete;
    LayerPictureSaver &operator=(const LayerPictureSaver &) = delete;

    // `modifierKey` matters for language layers only. A layer that is gone when the save is due
    // is not written.
    void schedule(const std::shared_ptr<KCLayer> &layer, const QString &modifierKey, const QString &path);
    void flush();
    bool hasPending() const { return m_pending.has_value(); }

    // The picture a layer stores: a single layer's composed picture (its stored picture cut
    // first), a language layer's picture for the modifier key, the control buttons' picture.
    // Nothing when the layer has nothing to store.
    static std::optional<QImage> pictureToStore(KCLayer &layer, const QString &modifierKey);

private:
    struct Pending
    {
        std::weak_ptr<KCLayer> layer;
        QString modifierKey;
        QString path;
    };

    LayerPictureWriter &m_writer;
    QTimer m_timer;
    std::optional<Pending> m_pending;
};

} // namespace brevona
