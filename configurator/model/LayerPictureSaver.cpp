#include "LayerPictureSaver.h"

#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "KCSingleLayer.h"
#include "LayerPictureWriter.h"

namespace brevona {

LayerPictureSaver::LayerPictureSaver(LayerPictureWriter &writer, std::chrono::milliseconds delay)
    : m_writer(writer)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(delay);
    m_timer.callOnTimeout([this] { flush(); });
}

LayerPictureSaver::~LayerPictureSaver()
{
    flush();
}

void LayerPictureSaver::schedule(const std::shared_ptr<KCLayer> &layer, const QString &modifierKey,
                                 const QString &path)
{
    if (!layer || path.isEmpty())
        return;
    const auto sameLayer = [&](const std::weak_ptr<KCLayer> &other) {
        return !other.owner_before(layer) && !layer.owner_before(other);
    };
    if (m_pending && (!sameLayer(m_pending->layer) || m_pending->modifierKey != modifierKey))
        flush();
    m_pending = Pending{layer, modifierKey, path};
    m_timer.start();
}

void LayerPictureSaver::flush()
{
    m_timer.stop();
    if (!m_pending)
        return;
    const Pending pending = std::move(*m_pending);
    m_pending.reset();
    const auto layer = pending.layer.lock();
    if (!layer)
        return;
    if (const auto picture = pictureToStore(*layer, pending.modifierKey))
        m_writer.write(pending.path, *picture);
}

std::optional<QImage> LayerPictureSaver::pictureToStore(KCLayer &layer, const QString &modifierKey)
{
    if (auto *single = dynamic_cast<KCSingleLayer *>(&layer))
        return single->layerImage();
    if (auto *language = dynamic_cast<KCLanguageLayer *>(&layer))
        return language->layerImageForModifierKey(modifierKey);
    if (auto *controls = dynamic_cast<KCKeyboardDefaultLayer *>(&layer))
        return controls->layerImage();
    return std::nullopt;
}

} // namespace brevona
