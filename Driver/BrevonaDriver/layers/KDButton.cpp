#include "KDButton.h"

#include <exception>

#include <QBuffer>
#include <QDebug>
#include <QCoreApplication>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QThread>

#include "CommandInfo.h"
#include "CommandNames.h"
#include "KCEncryptor.h"
#include "KCLumivoxImage.h"
#include "KCPluginProtocol.h"
#include "KDActionListener.h"
#include "KDContext.h"
#include "KDLayerPicture.h"
#include "KeyboardData.h"
#include "KDPluginManager.h"
#include "LayerLogging.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "NullMarker.h"

namespace brevona {

namespace {

KDButton::DisplaySink &displaySink()
{
    static KDButton::DisplaySink sink;
    return sink;
}

QString describe(const QVariant &value)
{
    // Values come from outside; a huge one must not become a huge log line.
    constexpr qsizetype longest = 1000;
    QString text;
    QDebug(&text).noquote() << value;
    if (text.size() > longest)
        text = text.left(longest) + QStringLiteral("...");
    return text;
}

// Runs one call into a plugin; a plugin that throws is logged with `format` (%1 plugin, %2 reason)
// and the host carries on.
template<typename Call> bool guarded(const QString &format, const QString &plugin, Call &&call)
{
    try {
        call();
        return true;
    } catch (const std::exception &error) {
        qCWarning(lcLayers).noquote() << format.arg(plugin, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        qCWarning(lcLayers).noquote() << format.arg(plugin, QStringLiteral("unknown exception"));
    }
    return false;
}

QString pluginName(const KCPluginProtocol *plugin)
{
    return QStringLiteral("plugin@%1").arg(quintptr(plugin), 0, 16);
}

int modifiersOfLayer(const QString &identifier)
{
    const auto context = KDContext::getContextByIdentifier(identifier);
    return context ? context->modifiersInCondition() : 0;
}

} // namespace

void KDButton::setDisplaySink(DisplaySink sink)
{
    displaySink() = std::move(sink);
}

KDButton::KDButton(const QString &identifier)
{
    setIdentifier(identifier);
}

KDButton::~KDButton()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    // Plugins go first, while the button they may still call from their threads is whole.
    m_displayPlugin.reset();
    m_actionPlugin.reset();
}

std::shared_ptr<KDButton> KDButton::createWithId(const QString &identifier)
{
    return std::shared_ptr<KDButton>(new KDButton(identifier));
}

std::shared_ptr<KDButton> KDButton::create(const QVariantMap &entry, const QString &identifier,
                                           const std::shared_ptr<KDLayerPicture> &layerPicture)
{
    auto button = createWithId(identifier);
    if (layerPicture) {
        // The cell is reserved before the plugins are created, which may ask for the picture.
        button->m_layerPicture = layerPicture;
        button->m_cellLocation = button->m_location;
        layerPicture->reserve(button->m_location);
    }
    button->setPluginsByPlist(entry);
    return button;
}

void KDButton::setIdentifier(const QString &identifier)
{
    m_identifier = identifier;
    const KeyboardData::Key *key = KeyboardData::shared().key(identifier);
    m_location = key ? key->location : QPoint();
    m_oledIndex = key ? key->display : 0;
    m_keyIndex = key ? key->keyIndex : 0;
    m_buttonKey = key ? (key->keyCode & 0xFF) : 0;
}

int KDButton::getSegment() const
{
    return m_actionPlugin ? -2 : m_segment;
}

void KDButton::setOwner(const std::shared_ptr<KDButton> &owner)
{
    std::lock_guard guard(m_stateLock);
    m_owner = owner;
    m_ownerKind = owner ? OwnerKind::Other : OwnerKind::None;
}

bool KDButton::isOwnedBy(const KDButton *owner) const
{
    std::lock_guard guard(m_stateLock);
    switch (m_ownerKind) {
    case OwnerKind::Self:
        return owner == this;
    case OwnerKind::Other:
        return m_owner.lock().get() == owner;
    case OwnerKind::None:
        break;
    }
    return false;
}

std::shared_ptr<KDButton> KDButton::owner() const
{
    std::lock_guard guard(m_stateLock);
    if (m_ownerKind == OwnerKind::Self)
        return std::const_pointer_cast<KDButton>(shared_from_this());
    return m_owner.lock();
}

std::shared_ptr<KCLumivoxImage> KDButton::image()
{
    std::lock_guard guard(m_stateLock);
    if (!m_image) {
        // The layer picture's lock is the only one taken under the button's, and it takes none.
        m_image =
            KCLumivoxImage::create(m_layerPicture ? m_layerPicture->takeCell(m_cellLocation) : QImage());
        m_layerPicture.reset();
    }
    return m_image;
}

void KDButton::setImage(const std::shared_ptr<KCLumivoxImage> &picture)
{
    std::lock_guard guard(m_stateLock);
    m_image = picture;
    m_layerPicture.reset();
    m_scaledImage = QImage();
}

KCPluginImage *KDButton::getImage()
{
    return image().get();
}

void KDButton::dropScaledImage()
{
    std::lock_guard guard(m_stateLock);
    m_scaledImage = QImage();
}

QImage KDButton::getScaledImage()
{
    {
        std::lock_guard guard(m_stateLock);
        if (!m_scaledImage.isNull())
            return m_scaledImage;
    }
    const QImage reduced =
        image()->image().scaled(Size / 2, Size / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    std::lock_guard guard(m_stateLock);
    m_scaledImage = reduced;
    return reduced;
}

std::unique_ptr<KCPluginProtocol> KDButton::initializePluginByPlist(const QVariant &entry)
{
    if (entry.typeId() != QMetaType::QVariantMap || entry.toMap().isEmpty())
        return nullptr;
    const QVariantMap map = entry.toMap();
    const QVariant signature = map.value(QStringLiteral("Signature"));
    if (signature.typeId() != QMetaType::QString) {
        qCWarning(lcLayers).noquote()
            << QStringLiteral("Warning: plugin plist hasn't plugin signature: [\n%1\n]").arg(describe(entry));
        return nullptr;
    }
    auto plugin = KDPluginManager::sharedInstance().createInstance(signature.toString(), this);
    if (!plugin) {
        qCWarning(lcLayers).noquote()
            << QStringLiteral("Warning: can't create plugin by signature '%1'").arg(signature.toString());
        return nullptr;
    }
    unsigned operations = 0;
    if (!guarded(QStringLiteral("exception while set properties for plugin: %1 %2"), signature.toString(),
                 [&] { operations = plugin->operations(); }))
        return plugin;
    if (!(operations & KCPluginProtocol::SetValueForKey)) {
        qCWarning(lcLayers).noquote()
            << QStringLiteral(
                   "plugin '%1' doesn't have customizable properties (not key-value coding compliant)")
                   .arg(signature.toString());
        return plugin;
    }
    const QVariantMap settings = map.value(QStringLiteral("Settings")).toMap();
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it) {
        QString key = it.key();
        QVariant value = it.value();
        if (key.startsWith(QLatin1Char('#'))) {
            while (key.startsWith(QLatin1Char('#')))
                key.remove(0, 1);
            while (key.endsWith(QLatin1Char('#')))
                key.chop(1);
            value = KCEncryptor::decryptString(value.toString());
        }
        try {
            plugin->setValue(value, key);
        } catch (const std::exception &error) {
            qCWarning(lcLayers).noquote() << QStringLiteral("exception while set properties for plugin: %1")
                                                 .arg(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            qCWarning(lcLayers).noquote() << QStringLiteral("exception while set properties for plugin: %1")
                                                 .arg(QStringLiteral("unknown exception"));
        }
    }
    return plugin;
}

void KDButton::setPluginsByPlist(const QVariant &entry)
{
    if (entry.typeId() != QMetaType::QVariantMap)
        return;
    deactivate();
    m_displayPlugin.reset();
    m_actionPlugin.reset();
    const QVariantMap map = entry.toMap();
    m_displayPlugin = initializePluginByPlist(map.value(commands::keys::DisplayPlugin));
    m_actionPlugin = initializePluginByPlist(map.value(commands::keys::ActionPlugin));
}

void KDButton::changeByPlist(const QVariantMap &change)
{
    const bool wasActive = m_isActivated;
    deactivate();
    const QVariant picture = change.value(commands::keys::Image);
    // An "Image" that is no readable picture is skipped as a whole: it neither blanks the key nor
    // costs it its display plugin.
    const QImage source = picture.isValid() && !isNullMarker(picture) ? readPicture(picture) : QImage();
    if (!source.isNull()) {
        m_displayPlugin.reset();
        {
            auto focus = image()->lockFocus();
            focus.painter().setCompositionMode(QPainter::CompositionMode_SourceOver);
            focus.painter().drawImage(QRect(0, 0, Size, Size), source);
        }
        dropScaledImage();
    } else if (change.contains(commands::keys::DisplayPlugin)) {
        m_displayPlugin = initializePluginByPlist(change.value(commands::keys::DisplayPlugin));
    }
    if (change.contains(commands::keys::ActionPlugin))
        m_actionPlugin = initializePluginByPlist(change.value(commands::keys::ActionPlugin));
    if (wasActive)
        activate();
}

QImage KDButton::readPicture(const QVariant &picture) const
{
    if (picture.typeId() == QMetaType::QImage)
        return picture.value<QImage>();
    if (picture.typeId() != QMetaType::QByteArray) {
        qCWarning(lcLayers).noquote()
            << "Image of key" << m_identifier << "is" << CommandInfo::typeName(picture)
            << "instead of picture data - ignored";
        return QImage();
    }
    QByteArray bytes = picture.toByteArray();
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    // A key shows 48 x 48 pixels; a picture claiming to be huge is refused before it is decoded.
    reader.setAllocationLimit(MaxPictureMegabytes);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > MaxPictureSide || size.height() > MaxPictureSide)) {
        qCWarning(lcLayers).noquote() << "Image of key" << m_identifier << "is" << size.width() << "x"
                                      << size.height() << "pixels, too large - ignored";
        return QImage();
    }
    QImage read = reader.read();
    if (read.isNull())
        qCWarning(lcLayers).noquote()
            << "Image of key" << m_identifier << "could not be read:" << reader.errorString() << "- ignored";
    return read;
}

bool KDButton::setPluginSettingsByPlist(const QVariantMap &settings)
{
    bool allApplied = true;
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it) {
        KCPluginProtocol *plugin = nullptr;
        if (it.key() == commands::keys::DisplayPlugin)
            plugin = m_displayPlugin.get();
        else if (it.key() == commands::keys::ActionPlugin)
            plugin = m_actionPlugin.get();
        if (!plugin) {
            qCWarning(lcLayers).noquote() << QStringLiteral("illegal plugin settings for button %1:\n%2")
                                                 .arg(m_identifier, describe(settings));
            allApplied = false;
            continue;
        }
        if (it.value().typeId() != QMetaType::QVariantMap) {
            qCWarning(lcLayers).noquote() << QStringLiteral("illegal plugin settings for button %1:\n%2")
                                                 .arg(m_identifier, describe(settings));
            allApplied = false;
            continue;
        }
        QVariantMap values = it.value().toMap();
        // A null marker reaches the plugin as no value.
        for (auto value = values.begin(); value != values.end(); ++value) {
            if (isNullMarker(*value))
                *value = QVariant();
        }
        guarded(QStringLiteral("exception while set properties for plugin: %1 %2"), pluginName(plugin), [&] {
            if (plugin->operations() &
                (KCPluginProtocol::SetValuesForKeys | KCPluginProtocol::SetValueForKey))
                plugin->setValuesForKeysWithDictionary(values);
        });
    }
    return allApplied;
}

void KDButton::activate()
{
    if (m_isActivated.exchange(true))
        return;
    // A display plugin that fails costs its own key only: the key shows the picture it has, and
    // the command or composition that activated it goes on with the other keys.
    if (m_displayPlugin) {
        guarded(QStringLiteral("exception when activating %1: %2"), pluginName(m_displayPlugin.get()), [&] {
            if (m_displayPlugin->operations() & KCPluginProtocol::Activate)
                m_displayPlugin->activate();
        });
    }
    if (auto reportTo = owner())
        reportTo->onChildButtonUpdated(*this);
    if (m_actionPlugin) {
        // The button stays alive for the whole of its action, whatever the action sets off.
        NotificationCenter::defaultCenter().addObserver(this, notifications::TriggerActionButton,
                                                        [button = weak_from_this()](Notification &n) {
                                                            if (const auto self = button.lock())
                                                                self->triggerActionButton(n);
                                                        });
        m_actionModifiers = modifiersOfLayer(m_context);
        KDActionListener::sharedActionListener().setupActionForButton(m_identifier, m_actionModifiers);
        guarded(QStringLiteral("exception when activating %1: %2"), pluginName(m_actionPlugin.get()), [&] {
            if (m_actionPlugin->operations() & KCPluginProtocol::Activate)
                m_actionPlugin->activate();
        });
    }
}

void KDButton::deactivate()
{
    if (!m_isActivated)
        return;
    if (m_displayPlugin) {
        guarded(QStringLiteral("exception when deactivating %1: %2"), pluginName(m_displayPlugin.get()), [&] {
            if (m_displayPlugin->operations() & KCPluginProtocol::Activate)
                m_displayPlugin->deactivate();
        });
    }
    if (m_actionPlugin) {
        guarded(QStringLiteral("exception when deactivating %1: %2"), pluginName(m_actionPlugin.get()), [&] {
            if (m_actionPlugin->operations() & KCPluginProtocol::Activate)
                m_actionPlugin->deactivate();
        });
        KDActionListener::sharedActionListener().removeActionForButton(m_identifier, m_actionModifiers);
        NotificationCenter::defaultCenter().removeObserver(this, notifications::TriggerActionButton);
    }
    m_isActivated = false;
}

void KDButton::triggerActionButton(Notification &notification)
{
    if (notification.object().toString() != m_identifier || !m_actionPlugin)
        return;
    guarded(QStringLiteral("exception when triggering action %1: %2"), pluginName(m_actionPlugin.get()), [&] {
        if (m_actionPlugin->operations() & KCPluginProtocol::KeyActions) {
            m_actionPlugin->onKeyDown();
            m_actionPlugin->onKeyUp();
        }
    });
}

void KDButton::update()
{
    if (!m_isActivated)
        return;
    dropScaledImage();
    if (auto reportTo = owner())
        reportTo->onChildButtonUpdated(*this);
}

void KDButton::requestTotalRepaint()
{
    // Plugins may ask from any thread, and the notification centre belongs to the main thread.
    // Requests made before the repaint ran are served by it.
    static std::atomic<bool> pending = false;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || pending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        app,
        [] {
            pending = false;
            NotificationCenter::defaultCenter().post(notifications::TotalRepaintNeeded);
        },
        Qt::QueuedConnection);
}

void KDButton::onChildButtonUpdated(KDButton &child)
{
    sendToDevice(child.image());
}

void KDButton::sendToDevice(const std::shared_ptr<KCLumivoxImage> &picture)
{
    if (displaySink())
        displaySink()(picture, m_oledIndex);
    // Observers live on the main thread; a plugin thread's update reaches them there.
    auto self = shared_from_this();
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        NotificationCenter::defaultCenter().post(notifications::ButtonChanged,
                                                 QVariant::fromValue<void *>(self.get()));
    } else {
        QMetaObject::invokeMethod(app, [self] {
            NotificationCenter::defaultCenter().post(notifications::ButtonChanged,
                                                     QVariant::fromValue<void *>(self.get()));
        });
    }
}

QString KDButton::description() const
{
    return QStringLiteral("KDButton (%1) '%2', Display='%3', Action='%4', segment %5, rc=%6")
        .arg(quintptr(this), 8, 16, QLatin1Char('0'))
        .arg(m_identifier, pluginName(m_displayPlugin.get()), pluginName(m_actionPlugin.get()))
        .arg(getSegment())
        .arg(weak_from_this().use_count());
}

} // namespace brevona
