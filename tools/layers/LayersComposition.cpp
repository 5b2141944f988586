#include "LayersComposition.h"

#include <map>

#include <QCoreApplication>
#include <QDir>
#include <QPainter>

#include "HotKeyService.h"
#include "KCLumivoxImage.h"
#include "KDButton.h"
#include "KDLayerManager.h"
#include "KeyboardData.h"
#include "Paths.h"
#include "StoreNames.h"

namespace brevona {

namespace {

// A picture of the keyboard must not take the user's hot keys away from the running driver.
class NoHotKeys : public HotKeyService
{
public:
    std::optional<Reference> registerHotKey(int, int, const QString &, int) override { return std::nullopt; }
    bool unregisterHotKey(Reference) override { return false; }
};

} // namespace

Result<QImage> LayersComposition::render(const QString &storeRoot)
{
    if (!QDir(storeRoot).exists())
        return Result<QImage>::failure(QStringLiteral("there is no layer store in %1").arg(storeRoot));
    NoHotKeys hotKeys;
    HotKeyService::setInstance(&hotKeys);
    std::map<int, QImage> shown;
    KDButton::setDisplaySink([&shown](const std::shared_ptr<KCLumivoxImage> &picture, int display) {
        shown[display] = picture ? picture->image() : QImage();
    });
    {
        KDLayerManager manager(storeRoot, QDir(Paths::resourceFolder()).filePath(storenames::BlackLayerId));
        // Plugins that draw on the next pass of the event loop have drawn after this one.
        QCoreApplication::processEvents();
    }
    KDButton::setDisplaySink({});
    HotKeyService::setInstance(nullptr);

    const KeyboardData &data = KeyboardData::shared();
    QImage picture(KeyboardData::kPictureWidth, KeyboardData::kPictureHeight,
                   QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    for (const KeyboardData::Key &key : data.keys()) {
        const auto it = shown.find(key.display);
        if (key.display && it != shown.end() && !it->second.isNull())
            painter.drawImage(key.cell(), it->second);
    }
    return picture;
}

} // namespace brevona
