#include "KCButton.h"

#include <exception>

#include <QDebug>

#include "KCButtonImage.h"
#include "KCPluginHost.h"
#include "KCPluginProtocol.h"
#include "KCSingleLayer.h"
#include "LayerPicture.h"
#include "MainThread.h"
#include "ModelLogging.h"
#include "NullMarker.h"

namespace brevona {

namespace {

const QString kSignature = QStringLiteral("Signature");
const QString kSettings = QStringLiteral("Settings");

QString describe(const QVariant &value)
{
    const int type = value.typeId();
    if (type != QMetaType::QVariantMap && type != QMetaType::QVariantList && type != QMetaType::QByteArray &&
        value.canConvert<QString>())
        return value.toString();
    QString text;
    QDebug(&text).noquote().nospace() << value;
    return text;
}

// Runs one plugin call; an exception is turned into its message.
template<typename Call> std::optional<QString> guarded(Call &&call)
{
    try {
        call();
        return std::nullopt;
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

bool supports(const KCPluginProtocol *instance, KCPluginProtocol::Operation operation)
{
    if (!instance)
        return false;
    unsigned operations = 0;
    if (guarded([&] { operations = instance->operations(); }))
        return false;
    return (operations & operation) != 0;
}

} // namespace

std::shared_ptr<KCButton> KCButton::createButton(const QString &name)
{
    return std::shared_ptr<KCButton>(new KCButton(name));
}

KCButton::KCButton(const QString &name)
    : m_name(name)
    , m_image(LayerPicture::blackKey())
    , m_pluginImage(std::make_unique<KCButtonImage>())
{}

KCButton::~KCButton()
{
    deactivate();
}

QString KCButton::name() const
{
    std::lock_guard guard(m_pictureLock);
    return m_name;
}

void KCButton::setName(const QString &name)
{
    std::lock_guard guard(m_pictureLock);
    m_name = name;
}

std::shared_ptr<KCSingleLayer> KCButton::delegate() const
{
    return m_delegate.lock();
}

void KCButton::setDelegate(const std::weak_ptr<KCSingleLayer> &layer)
{
    m_delegate = layer;
}

QImage KCButton::image() const
{
    if (m_display.instance)
        return m_pluginImage->image();
    return pictureImage();
}

QImage KCButton::pictureImage() const
{
    std::lock_guard guard(m_pictureLock);
    return m_image;
}

void KCButton::setImage(const QImage &picture)
{
    const bool real = !picture.isNull();
    QImage replacement = real ? LayerPicture::keyPicture(picture) : LayerPicture::blackKey();
    std::lock_guard guard(m_pictureLock);
    m_image = std::move(replacement);
    m_hasImage = real;
}

void KCButton::setCutImage(const QImage &cell)
{
    std::lock_guard guard(m_pictureLock);
    m_image = cell;
    m_hasImage = true;
}

void KCButton::setBlackImage()
{
    setImage(LayerPicture::blackKey());
}

bool KCButton::hasImage() const
{
    std::lock_guard guard(m_pictureLock);
    return m_hasImage;
}

QVariantMap KCButton::pluginSettings(Side side) const
{
    return side == Side::Display ? m_display.settings : m_action.settings;
}

void KCButton::setDisplayPluginSettings(const QVariantMap &entry)
{
    setPluginSettings(Side::Display, entry);
}

void KCButton::setActionPluginSettings(const QVariantMap &entry)
{
    setPluginSettings(Side::Action, entry);
}

void KCButton::setPluginSettings(Side side, const QVariantMap &entry)
{
    Plugin &target = plugin(side);
    const QVariant oldSignature = target.settings.value(kSignature);
    const QVariant newSignature = entry.value(kSignature);
    target.settings = entry;

    const bool keep = !entry.isEmpty() && newSignature.isValid() && newSignature == oldSignature;
    if (!keep) {
        // Both sides stop together, so that the caller's next activation starts both afresh and
        // no instance is activated twice.
        deactivate();
        target.instance.reset();
        if (!entry.isEmpty()) {
            KCPluginHost *host = KCPluginHost::instance();
            if (host && newSignature.typeId() == QMetaType::QString) {
                if (const auto error = guarded(
                        [&] { target.instance = host->createInstance(newSignature.toString(), this); })) {
                    qCWarning(lcModel).noquote() << QStringLiteral("Button: %1, Plugin: %2, Error: %3")
                                                        .arg(name(), newSignature.toString(), *error);
                }
            }
            if (side == Side::Display && delegate()) {
                m_pluginImage->setImage(LayerPicture::placeholder());
                setImage(QImage());
            }
        }
        m_isActive = false;
    }
    applySettings(target);
}

void KCButton::applySettings(const Plugin &target) const
{
    KCPluginProtocol *instance = target.instance.get();
    const QVariant settings = target.settings.value(kSettings);
    if (!instance || settings.typeId() != QMetaType::QVariantMap)
        return;
    const QString signature = target.settings.value(kSignature).toString();
    if (!supports(instance, KCPluginProtocol::SetValueForKey)) {
        if (!settings.toMap().isEmpty()) {
            qCWarning(lcModel).noquote()
                << QStringLiteral("Button: %1, Plugin: %2, Error: %3")
                       .arg(name(), signature, QStringLiteral("the plugin takes no settings"));
        }
        return;
    }
    const QVariantMap values = settings.toMap();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (const auto error = guarded([&] { instance->setValue(it.value(), it.key()); })) {
            qCWarning(lcModel).noquote() << QStringLiteral("SetValue: %1, forKey: %2, Plugin: %3, Error: %4")
                                                .arg(describe(it.value()), it.key(), signature, *error);
        }
    }
}

QVariantMap KCButton::mergedSettings(const QVariantMap &entry, const QVariantMap &changes)
{
    QVariantMap result = entry;
    if (changes.isEmpty()) {
        result.remove(kSettings);
        return result;
    }
    QVariantMap settings = entry.value(kSettings).toMap();
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (isNullMarker(it.value()))
            settings.remove(it.key());
        else
            settings.insert(it.key(), it.value());
    }
    result.insert(kSettings, settings);
    return result;
}

QVariant KCButton::pluginValueForKey(Side side, const QString &key) const
{
    const Plugin &target = plugin(side);
    QVariant value;
    if (!supports(target.instance.get(), KCPluginProtocol::ValueForKey))
        return value;
    if (const auto error = guarded([&] { value = target.instance->valueForKey(key); })) {
        qCWarning(lcModel).noquote() << QStringLiteral("ValueForKey: %1, Plugin: %2, Error: %3")
                                            .arg(key, target.settings.value(kSignature).toString(), *error);
        return {};
    }
    return value;
}

bool KCButton::validatePluginValue(Side side, QVariant &value, const QString &key) const
{
    const Plugin &target = plugin(side);
    if (!supports(target.instance.get(), KCPluginProtocol::ValidateValue))
        return true;
    QVariant candidate = value;
    bool valid = false;
    if (const auto error = guarded([&] { valid = target.instance->validateValue(candidate, key); })) {
        // A validator that fails cannot vouch for the value.
        qCWarning(lcModel).noquote() << QStringLiteral("ValidateValue: %1, forKey: %2, Plugin: %3, Error: %4")
                                            .arg(describe(value), key,
                                                 target.settings.value(kSignature).toString(), *error);
        return false;
    }
    if (valid)
        value = candidate;
    return valid;
}

bool KCButton::hasDisplayPlugin() const
{
    return m_display.instance && !m_display.settings.isEmpty();
}

void KCButton::activate()
{
    if (m_isActive)
        return;
    bool started = false;
    for (Plugin *side : {&m_display, &m_action}) {
        if (!supports(side->instance.get(), KCPluginProtocol::Activate))
            continue;
        if (const auto error = guarded([&] { side->instance->activate(); })) {
            qCWarning(lcModel).noquote()
                << QStringLiteral("Button: %1, Plugin: %2, Error: %3")
                       .arg(name(), side->settings.value(kSignature).toString(), *error);
            continue;
        }
        started = true;
    }
    m_isActive = started;
}

void KCButton::deactivate()
{
    if (!m_isActive)
        return;
    m_isActive = false;
    for (Plugin *side : {&m_display, &m_action}) {
        if (!supports(side->instance.get(), KCPluginProtocol::Activate))
            continue;
        if (const auto error = guarded([&] { side->instance->deactivate(); })) {
            qCWarning(lcModel).noquote()
                << QStringLiteral("Button: %1, Plugin: %2, Error: %3")
                       .arg(name(), side->settings.value(kSignature).toString(), *error);
        }
    }
}

KCPluginImage *KCButton::getImage()
{
    return m_pluginImage.get();
}

void KCButton::update()
{
    if (MainThread::isCurrent()) {
        reportUpdate();
        return;
    }
    // A plugin drawing from its own thread may call this many times a second; one report waiting
    // on the main thread covers all of them.
    if (m_updateQueued.exchange(true))
        return;
    const std::weak_ptr<KCButton> weak = weak_from_this();
    const bool posted = MainThread::post([weak] {
        if (const auto button = weak.lock()) {
            button->m_updateQueued = false;
            button->reportUpdate();
        }
    });
    if (!posted)
        m_updateQueued = false;
}

void KCButton::reportUpdate()
{
    if (!m_display.instance)
        return;
    if (const auto layer = delegate())
        layer->buttonWasUpdated(*this);
}

} // namespace brevona
