#include "KCSingleLayer.h"

#include <QColor>
#include <QPainter>
#include <QThreadPool>

#include "KCButton.h"
#include "KeyboardData.h"
#include "LayerPicture.h"
#include "MainThread.h"
#include "ModelLogging.h"
#include "ModelNotifications.h"
#include "NotificationCenter.h"
#include "PropertyList.h"
#include "ResourceFiles.h"

namespace brevona {

namespace {

const QString kDisplayPlugin = QStringLiteral("DisplayPlugin");
const QString kActionPlugin = QStringLiteral("ActionPlugin");

// Stored pictures are cut on these threads; two are plenty for one person clicking through layers.
QThreadPool &restorePool()
{
    static QThreadPool *pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(2);
        return created;
    }();
    return *pool;
}

struct MiniPreview
{
    QImage keyboard;
    QHash<QString, QRect> rects;
};

const MiniPreview &miniPreview()
{
    static const MiniPreview preview = [] {
        MiniPreview loaded;
        const KeyboardData &data = KeyboardData::shared();
        loaded.keyboard = QImage(data.filePath(resourcefiles::SmallPreview));
        const QString tablePath = data.filePath(resourcefiles::MiniPreview);
        const auto table = PropertyList::readDictionary(tablePath);
        if (loaded.keyboard.isNull() || !table) {
            qCWarning(lcModel, "Miniature keyboard %s or its table is missing; layer icons stay empty",
                      qUtf8Printable(data.filePath(resourcefiles::SmallPreview)));
            return loaded;
        }
        for (auto it = table->cbegin(); it != table->cend(); ++it) {
            if (const auto rect = KeyboardData::parseRect(it.value().toString()))
                loaded.rects.insert(it.key(), *rect);
        }
        return loaded;
    }();
    return preview;
}

} // namespace

std::shared_ptr<KCSingleLayer> KCSingleLayer::create(const QString &uuid)
{
    return std::shared_ptr<KCSingleLayer>(new KCSingleLayer(uuid));
}

KCSingleLayer::KCSingleLayer(const QString &uuid)
    : KCLayer(uuid)
{}

KCSingleLayer::~KCSingleLayer()
{
    // A worker holds the layer while it cuts, so none is running here.
    for (auto &[name, button] : m_buttons)
        button->deactivate();
}

QImage KCSingleLayer::icon() const
{
    if (m_iconCache.isNull())
        const_cast<KCSingleLayer *>(this)->recacheIcon();
    return m_iconCache;
}

void KCSingleLayer::recacheIcon()
{
    const MiniPreview &preview = miniPreview();
    if (preview.keyboard.isNull())
        return;
    QImage icon(preview.keyboard.size(), QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.drawImage(0, 0, preview.keyboard);
    const QColor mark = QColor::fromHsvF(0.1f, 0.7f, 1.0f, 1.0f);
    for (const auto &[name, button] : m_buttons) {
        const auto rect = preview.rects.constFind(name);
        if (rect == preview.rects.cend())
            continue;
        // The table's rectangles are flipped into bottom-up coordinates as height - y - 2; this is
        // the same rectangle counted from the top.
        painter.fillRect(QRect(rect->x(), rect->y() + 2 - rect->height(), rect->width(), rect->height()),
                         mark);
    }
    painter.end();
    m_iconCache = icon;
}

const QImage &KCSingleLayer::unknownButton()
{
    return LayerPicture::placeholder();
}

void KCSingleLayer::setButtonsInfo(const QVariantMap &buttons)
{
    // One icon for the whole table rather than one per key.
    for (auto it = buttons.cbegin(); it != buttons.cend(); ++it)
        applyInfo(it.value().toMap(), it.key());
    recacheIcon();
}

void KCSingleLayer::setInfo(const QVariantMap &info, const QString &name)
{
    const bool isNew = !hasButton(name);
    applyInfo(info, name);
    if (isNew)
        recacheIcon();
}

void KCSingleLayer::applyInfo(const QVariantMap &info, const QString &name)
{
    const auto button = addButton(name);
    if (info.isEmpty())
        return;
    // Through "none" first, so a plugin named again is created afresh.
    if (info.contains(kDisplayPlugin)) {
        button->setDisplayPluginSettings({});
        button->setDisplayPluginSettings(info.value(kDisplayPlugin).toMap());
    }
    if (info.contains(kActionPlugin)) {
        button->setActionPluginSettings({});
        button->setActionPluginSettings(info.value(kActionPlugin).toMap());
    }
}

int KCSingleLayer::numberOfButtons() const
{
    return static_cast<int>(m_buttons.size());
}

KCSingleLayer::ButtonTable KCSingleLayer::buttons() const
{
    return m_buttons;
}

QStringList KCSingleLayer::buttonNames() const
{
    QStringList names;
    for (const auto &[name, button] : m_buttons)
        names.append(name);
    return names;
}

bool KCSingleLayer::hasButton(const QString &name) const
{
    return m_buttons.count(name) != 0;
}

std::shared_ptr<KCButton> KCSingleLayer::buttonForName(const QString &name) const
{
    const auto found = m_buttons.find(name);
    return found == m_buttons.end() ? nullptr : found->second;
}

QVariantMap KCSingleLayer::allButtonsInfo() const
{
    QVariantMap all;
    for (const auto &[name, button] : m_buttons) {
        if (const auto info = infoForButton(name))
            all.insert(name, *info);
    }
    return all;
}

std::optional<QVariantMap> KCSingleLayer::infoForButton(const QString &name) const
{
    const auto button = buttonForName(name);
    if (!button)
        return std::nullopt;
    QVariantMap info;
    if (const QVariantMap action = button->actionPluginSettings(); !action.isEmpty())
        info.insert(kActionPlugin, action);
    if (const QVariantMap display = button->displayPluginSettings(); !display.isEmpty())
        info.insert(kDisplayPlugin, display);
    return info;
}

void KCSingleLayer::setLayerImageCachePath(const QString &path)
{
    std::unique_lock lock(m_lock);
    waitWhileCutting(lock);
    m_layerImageCachePath = path;
    m_restore = path.isEmpty() ? Restore::Restored : Restore::Pending;
}

QString KCSingleLayer::layerImageCachePath() const
{
    std::lock_guard guard(m_lock);
    return m_layerImageCachePath;
}

bool KCSingleLayer::imageIsRestoring() const
{
    std::lock_guard guard(m_lock);
    return m_restore == Restore::Queued || m_restore == Restore::Cutting;
}

void KCSingleLayer::waitWhileCutting(std::unique_lock<std::mutex> &lock)
{
    m_cutFinished.wait(lock, [this] { return m_restore != Restore::Cutting; });
}

void KCSingleLayer::startRestore()
{
    // Called under the lock with the state Pending.
    m_restore = Restore::Queued;
    const auto self = std::static_pointer_cast<KCSingleLayer>(shared_from_this());
    restorePool().start([self] {
        QString path;
        {
            std::lock_guard guard(self->m_lock);
            // Taken over meanwhile by ensureImageRestored, or superseded by a new picture.
            if (self->m_restore != Restore::Queued)
                return;
            self->m_restore = Restore::Cutting;
            path = self->m_layerImageCachePath;
        }
        self->restoreImageCache(path);
        // Observers run on the main thread; the worker does not wait for them, so a main thread
        // waiting for this cut cannot deadlock with it. The layer is released there as well.
        MainThread::post([self] { self->cacheImageRestored(); });
    });
}

void KCSingleLayer::restoreImageCache(const QString &path)
{
    const std::optional<QImage> picture = LayerPicture::readStored(path);
    std::lock_guard guard(m_lock);
    if (picture)
        cutInto(*picture);
    m_layerImageCachePath.clear();
    m_restore = Restore::Restored;
    m_cutFinished.notify_all();
}

void KCSingleLayer::cacheImageRestored()
{
    NotificationCenter::defaultCenter().post(notifications::KCLayerRestoredImage,
                                             QVariant::fromValue<KCLayer *>(this));
}

void KCSingleLayer::ensureImageRestored()
{
    QString path;
    bool wasShowingPlaceholder = false;
    {
        std::unique_lock lock(m_lock);
        waitWhileCutting(lock);
        if (m_restore == Restore::Restored)
            return;
        wasShowingPlaceholder = m_restore == Restore::Queued;
        m_restore = Restore::Cutting;
        path = m_layerImageCachePath;
    }
    restoreImageCache(path);
    if (wasShowingPlaceholder)
        cacheImageRestored();
}

void KCSingleLayer::cutInto(const QImage &picture)
{
    // Under the lock.
    for (const auto &[name, button] : m_buttons) {
        const auto location = LayerPicture::location(name);
        button->setCutImage(location ? LayerPicture::cut(picture, *location) : LayerPicture::blackKey());
    }
}

void KCSingleLayer::setLayerImage(const QImage &picture)
{
    bool supersededRestore = false;
    {
        std::unique_lock lock(m_lock);
        waitWhileCutting(lock);
        supersededRestore = m_restore == Restore::Queued;
        m_layerImageCachePath.clear();
        m_restore = Restore::Restored;
        cutInto(LayerPicture::opaque(picture));
    }
    if (supersededRestore)
        cacheImageRestored();
}

std::optional<QImage> KCSingleLayer::layerImage()
{
    {
        std::lock_guard guard(m_lock);
        if (m_buttons.empty() && m_restore != Restore::Restored)
            return std::nullopt;
    }
    ensureImageRestored();
    QImage picture = LayerPicture::blackLayer();
    QPainter painter(&picture);
    // Key pictures are opaque: copying beats blending.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    std::lock_guard guard(m_lock);
    for (const auto &[name, button] : m_buttons) {
        // Decided by the entry, not by a running instance: a plugin the configurator cannot load
        // is still live on the keyboard.
        if (!button->displayPluginSettings().isEmpty())
            continue;
        if (const auto location = LayerPicture::location(name))
            painter.drawImage(*location, button->image());
    }
    return picture;
}

void KCSingleLayer::setImage(const QImage &picture, const QString &name)
{
    ensureImageRestored();
    if (const auto button = buttonForName(name))
        button->setImage(picture);
}

QImage KCSingleLayer::pictureImageForButton(const QString &name) const
{
    const auto button = buttonForName(name);
    return button ? button->pictureImage() : QImage();
}

QImage KCSingleLayer::imageForButton(const QString &name)
{
    const auto button = buttonForName(name);
    if (!button)
        return QImage();
    if (button->hasDisplayPlugin())
        return button->image();
    {
        std::lock_guard guard(m_lock);
        if (m_restore == Restore::Pending)
            startRestore();
        if (m_restore != Restore::Restored)
            return unknownButton();
    }
    return button->image();
}

std::shared_ptr<KCButton> KCSingleLayer::createButton(const QString &name)
{
    const bool isNew = !hasButton(name);
    auto button = addButton(name);
    if (isNew)
        recacheIcon();
    return button;
}

std::shared_ptr<KCButton> KCSingleLayer::addButton(const QString &name)
{
    if (auto existing = buttonForName(name))
        return existing;
    auto button = KCButton::createButton(name);
    button->setDelegate(std::static_pointer_cast<KCSingleLayer>(shared_from_this()));
    std::unique_lock lock(m_lock);
    waitWhileCutting(lock);
    m_buttons.emplace(name, button);
    return button;
}

void KCSingleLayer::deleteButton(const QString &name)
{
    ensureImageRestored();
    std::shared_ptr<KCButton> removed;
    {
        std::lock_guard guard(m_lock);
        const auto found = m_buttons.find(name);
        if (found == m_buttons.end())
            return;
        removed = std::move(found->second);
        m_buttons.erase(found);
    }
    removed->deactivate();
    // A plugin report for it may still be on its way through the event loop.
    MainThread::post([removed] {});
    recacheIcon();
}

void KCSingleLayer::moveButtonFrom(const QString &from, const QString &to)
{
    if (from == to || !hasButton(from))
        return;
    ensureImageRestored();
    {
        std::lock_guard guard(m_lock);
        const std::shared_ptr<KCButton> source = m_buttons.at(from);
        const auto found = m_buttons.find(to);
        const std::shared_ptr<KCButton> target = found == m_buttons.end() ? nullptr : found->second;
        m_buttons.erase(from);
        source->setName(to);
        m_buttons[to] = source;
        if (target) {
            target->setName(from);
            m_buttons[from] = target;
        }
    }
    recacheIcon();
}

QVariantMap KCSingleLayer::displayPluginForButton(const QString &name) const
{
    const auto button = buttonForName(name);
    return button ? button->displayPluginSettings() : QVariantMap();
}

QVariantMap KCSingleLayer::actionPluginForButton(const QString &name) const
{
    const auto button = buttonForName(name);
    return button ? button->actionPluginSettings() : QVariantMap();
}

bool KCSingleLayer::buttonHasDisplayPlugin(const QString &name) const
{
    return !displayPluginForButton(name).isEmpty();
}

void KCSingleLayer::setDisplayPlugin(const QVariantMap &entry, const QString &name)
{
    // A new display plugin resets the key's own picture, which a later cut must not overwrite.
    ensureImageRestored();
    if (const auto button = buttonForName(name))
        button->setDisplayPluginSettings(entry);
}

void KCSingleLayer::setActionPlugin(const QVariantMap &entry, const QString &name)
{
    if (const auto button = buttonForName(name))
        button->setActionPluginSettings(entry);
}

void KCSingleLayer::updateDisplayPluginSettings(const QVariantMap &changes, const QString &name)
{
    if (const auto button = buttonForName(name))
        button->setDisplayPluginSettings(KCButton::mergedSettings(button->displayPluginSettings(), changes));
}

void KCSingleLayer::updateActionPluginSettings(const QVariantMap &changes, const QString &name)
{
    if (const auto button = buttonForName(name))
        button->setActionPluginSettings(KCButton::mergedSettings(button->actionPluginSettings(), changes));
}

void KCSingleLayer::buttonWasUpdated(const KCButton &button)
{
    NotificationCenter::defaultCenter().post(
        notifications::KCButtonPluginUpdated, QVariant::fromValue<KCLayer *>(this),
        {{notifications::ButtonNameKey, button.name()}, {notifications::ImageKey, button.image()}});
}

void KCSingleLayer::activate()
{
    if (m_isActive)
        return;
    m_isActive = true;
    for (const auto &[name, button] : buttons())
        button->activate();
}

void KCSingleLayer::deactivate()
{
    if (!m_isActive)
        return;
    m_isActive = false;
    for (const auto &[name, button] : buttons())
        button->deactivate();
}

void KCSingleLayer::setButton(const QString &name, bool active)
{
    if (const auto button = buttonForName(name))
        active ? button->activate() : button->deactivate();
}

void KCSingleLayer::setHybrid(bool hybrid)
{
    m_hybrid = hybrid;
}

} // namespace brevona
