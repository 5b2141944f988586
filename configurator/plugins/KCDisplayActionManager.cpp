#include "KCDisplayActionManager.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QPainter>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include "KCButton.h"
#include "KCPlugin.h"
#include "KCPluginManager.h"
#include "KCPluginSettingsTrampoline.h"
#include "KCSingleLayer.h"
#include "KeyboardData.h"
#include "LayerPicture.h"
#include "PluginsLogging.h"
#include "ResourceFiles.h"

namespace brevona {

namespace {

const QString kSignature = QStringLiteral("Signature");
const QString kSettings = QStringLiteral("Settings");
constexpr int MenuIconSize = 26;

QImage blackKey()
{
    QImage key(LayerPicture::KeySize, LayerPicture::KeySize, QImage::Format_RGB32);
    key.fill(Qt::black);
    return key;
}

// A plugin's icon as the menus show it: in a 24 x 24 square, 1 point in and 2 down.
QImage menuIcon(const QImage &icon)
{
    QImage image(MenuIconSize, MenuIconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square(1, 2, 24, 24);
    if (!icon.isNull()) {
        painter.drawImage(square, icon);
        return image;
    }
    // No icon of its own: a rounded square with a question mark.
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1.5));
    painter.setBrush(QColor(0xee, 0xee, 0xee));
    painter.drawRoundedRect(square.adjusted(2, 2, -2, -2), 4, 4);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(14);
    painter.setFont(font);
    painter.drawText(square, Qt::AlignCenter, QStringLiteral("?"));
    return image;
}

// "Nothing": a key outline with nothing on it.
QImage nothingIcon()
{
    QImage image(24, 24, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1.5, Qt::DashLine));
    painter.drawRoundedRect(QRectF(3, 3, 18, 18), 3, 3);
    return image;
}

// "Default": a key cap with the selected key's name on it.
QImage keystrokeIcon(const QString &label)
{
    QImage image(24, 24, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    painter.setBrush(QColor(0xf4, 0xf4, 0xf4));
    painter.drawRoundedRect(QRectF(2.5, 2.5, 19, 19), 3, 3);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(label.size() > 2 ? 7 : 11);
    painter.setFont(font);
    painter.setPen(QColor(0x33, 0x33, 0x33));
    painter.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, label);
    return image;
}

} // namespace

KCDisplayActionManager::KCDisplayActionManager(KCLayerManager &layers, KCPluginManager &catalogue,
                                               DriverCommandSink &driver, QObject *parent)
    : QObject(parent)
    , m_layers(layers)
    , m_catalogue(catalogue)
    , m_trampoline(std::make_unique<KCPluginSettingsTrampoline>(driver))
    , m_pictureTimer(new QTimer(this))
{
    m_pictureTimer->setSingleShot(true);
    m_quietTimer = new QTimer(this);
    m_quietTimer->setSingleShot(true);
    m_quietTimer->setInterval(QuietPeriodMs);
    connect(m_quietTimer, &QTimer::timeout, this, [this] {
        m_safeToUpdateControls = true;
        emit controlsChanged();
    });
    m_pictureTimer->setInterval(PictureNoticeDelayMs);
    connect(m_pictureTimer, &QTimer::timeout, this, [this] { flushPicture(); });
}

KCDisplayActionManager::~KCDisplayActionManager()
{
    // A picture still waiting is the user's last edit: it is kept.
    if (m_pictureTimer->isActive())
        flushPicture();
}

void KCDisplayActionManager::setSelection(const QString &layerIdentifier, const QStringList &keys)
{
    m_layer = layerIdentifier;
    m_keys = keys;
    loadProxies();
    emit controlsChanged();
}

std::shared_ptr<KCSingleLayer> KCDisplayActionManager::currentLayer() const
{
    return std::dynamic_pointer_cast<KCSingleLayer>(m_layers.findLayerByID(m_layer));
}

bool KCDisplayActionManager::enabled() const
{
    return !m_keys.isEmpty() && currentLayer() != nullptr;
}

QString KCDisplayActionManager::shortenedDescription(const QString &description)
{
    return description.size() > MaxMenuDescription ? description.left(30) + QStringLiteral("...")
                                                   : description;
}

QImage KCDisplayActionManager::keyPictureAtScale(const QImage &working, double scale)
{
    const int side = LayerPicture::KeySize;
    QImage output = blackKey();
    if (working.isNull())
        return output;
    QPainter painter(&output);
    if (!needsResizer(working)) {
        painter.drawImage(0, 0, working);
        return output;
    }
    const double e = 0.05 + 0.95 * scale;
    QSizeF size = QSizeF(working.size()).scaled(side, side, Qt::KeepAspectRatio) * (e > 1 ? e * e : e);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(QPointF((side - size.width()) / 2, (side - size.height()) / 2), size), working);
    return output;
}

Result<QImage> KCDisplayActionManager::readPictureFile(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.width() > MaxPictureSide || size.height() > MaxPictureSide)
        return Result<QImage>::failure(
            QStringLiteral("%1 is %2 x %3 pixels; a key picture is at most %4 on a side")
                .arg(path)
                .arg(size.width())
                .arg(size.height())
                .arg(MaxPictureSide));
    QImage picture = reader.read();
    if (picture.isNull())
        return Result<QImage>::failure(
            QStringLiteral("%1 cannot be read as a picture: %2").arg(path, reader.errorString()));
    return picture;
}

QList<QImage> KCDisplayActionManager::stockPictures()
{
    static const QList<QImage> pictures = [] {
        const QImage library(KeyboardData::shared().filePath(resourcefiles::IconLibrary));
        const int side = LayerPicture::KeySize;
        QList<QImage> tiles;
        for (int y = 0; y + side <= library.height(); y += side) {
            for (int x = 0; x + side <= library.width(); x += side)
                tiles.append(library.copy(x, y, side, side).convertToFormat(QImage::Format_RGB32));
        }
        return tiles;
    }();
    return pictures;
}

bool KCDisplayActionManager::needsResizer(const QImage &working)
{
    return working.size() != QSize(LayerPicture::KeySize, LayerPicture::KeySize);
}

QImage KCDisplayActionManager::menuIconFor(const QString &signature) const
{
    // The menus are built again for every selection: each icon is drawn once.
    const QString label = m_keys.size() == 1 ? m_keys.first() : QStringLiteral("...");
    const QString cacheKey = signature == KCPluginManager::DefaultKeystrokeSignature
                                 ? signature + QLatin1Char('|') + label
                                 : signature;
    auto cached = m_menuIcons.constFind(cacheKey);
    if (cached == m_menuIcons.cend()) {
        QImage icon = m_catalogue.iconForPlugin(signature);
        if (signature == KCPluginManager::NothingSignature)
            icon = nothingIcon();
        else if (signature == KCPluginManager::DefaultKeystrokeSignature)
            icon = keystrokeIcon(label);
        cached = m_menuIcons.insert(cacheKey, menuIcon(icon));
    }
    return *cached;
}

KCDisplayActionManager::MenuEntry KCDisplayActionManager::item(const QString &signature, bool bold) const
{
    QString description = m_catalogue.descriptionForPlugin(signature);
    if (signature == KCPluginManager::NothingSignature)
        description = nothingDescription();
    else if (signature == KCPluginManager::DefaultKeystrokeSignature)
        description = defaultDescription();
    return {.title = m_catalogue.displayNameForPlugin(signature),
            .description = shortenedDescription(description),
            .icon = menuIconFor(signature),
            .signature = signature,
            .bold = bold};
}

QList<KCDisplayActionManager::PluginCategory>
KCDisplayActionManager::shownCategories(const KCPluginManager &catalogue, bool display)
{
    const QMap<QString, QStringList> byCategory =
        display ? catalogue.displayPluginsByCategories() : catalogue.actionPluginsByCategories();
    QList<PluginCategory> shown;
    for (const QString &category : KCPlugin::sortedCategories()) {
        QStringList signatures = byCategory.value(category);
        if (display && category == KCPlugin::sortedCategories().first())
            signatures.prepend(KCPluginManager::PictureSignature);
        // A plugin without a name is not offered: its line would be empty.
        signatures.removeIf(
            [&](const QString &signature) { return catalogue.displayNameForPlugin(signature).isEmpty(); });
        if (!signatures.isEmpty())
            shown.append({category, signatures});
    }
    return shown;
}

QList<KCDisplayActionManager::MenuEntry> KCDisplayActionManager::menu(const MenuEntry &first,
                                                                      bool display) const
{
    QList<MenuEntry> entries{first};
    for (const PluginCategory &category : shownCategories(m_catalogue, display)) {
        entries.append({.role = MenuEntry::Role::Separator});
        entries.append(
            {.role = MenuEntry::Role::Header, .title = KCPlugin::categoryNameForId(category.identifier)});
        for (const QString &signature : category.signatures)
            entries.append(item(signature));
    }
    return entries;
}

QList<KCDisplayActionManager::MenuEntry> KCDisplayActionManager::displayMenu() const
{
    return menu(item(KCPluginManager::NothingSignature, true), true);
}

QList<KCDisplayActionManager::MenuEntry> KCDisplayActionManager::actionMenu() const
{
    return menu(item(KCPluginManager::DefaultKeystrokeSignature, true), false);
}

KCDisplayActionManager::Side KCDisplayActionManager::displaySide() const
{
    const auto layer = currentLayer();
    if (!layer || m_keys.isEmpty())
        return {};
    QSet<QString> kinds;
    for (const QString &key : m_keys) {
        const QString signature = layer->displayPluginForButton(key).value(kSignature).toString();
        kinds.insert(!signature.isEmpty()    ? signature
                     : layer->hasButton(key) ? KCPluginManager::PictureSignature
                                             : KCPluginManager::NothingSignature);
    }
    if (kinds.size() > 1)
        return {.page = Page::Multiple, .mixed = true};
    const QString signature = *kinds.cbegin();
    Side side{.checked = signature};
    if (signature == KCPluginManager::PictureSignature) {
        side.page = Page::Picture;
    } else if (signature != KCPluginManager::NothingSignature) {
        side.settingsView = m_catalogue.preferencesViewForSignature(signature);
        side.page = m_keys.size() > 1             ? Page::Multiple
                    : side.settingsView.isEmpty() ? Page::NoOptions
                                                  : Page::Plugin;
    }
    return side;
}

KCDisplayActionManager::Side KCDisplayActionManager::actionSide() const
{
    const auto layer = currentLayer();
    if (!layer || m_keys.isEmpty())
        return {};
    QSet<QString> kinds;
    for (const QString &key : m_keys) {
        const QString signature = layer->actionPluginForButton(key).value(kSignature).toString();
        kinds.insert(signature.isEmpty() || !layer->hasButton(key)
                         ? KCPluginManager::DefaultKeystrokeSignature
                         : signature);
    }
    if (kinds.size() > 1)
        return {.page = Page::Multiple, .mixed = true};
    const QString signature = *kinds.cbegin();
    Side side{.checked = signature};
    if (signature != KCPluginManager::DefaultKeystrokeSignature) {
        side.settingsView = m_catalogue.preferencesViewForSignature(signature);
        side.page = m_keys.size() > 1             ? Page::Multiple
                    : side.settingsView.isEmpty() ? Page::Empty
                                                  : Page::Plugin;
    }
    return side;
}

QString KCDisplayActionManager::nothingDescription() const
{
    if (displaySide().checked == KCPluginManager::NothingSignature)
        return QStringLiteral("This buttons is transparent");
    return QStringLiteral("Remove this button%1").arg(m_keys.size() <= 1 ? QString() : QStringLiteral("s"));
}

QString KCDisplayActionManager::defaultDescription() const
{
    const bool one = m_keys.size() <= 1;
    return QStringLiteral("Act%1 like a normal key%2")
        .arg(one ? QStringLiteral("s") : QString(), one ? QString() : QStringLiteral("s"));
}

KCDisplayActionManager::Outcome KCDisplayActionManager::edit(KCLayerManager::KeyStates states,
                                                             const QString &text)
{
    const Outcome outcome = m_layers.setKeys(m_layer, states, text);
    m_lastError = outcome == Outcome::Done ? QString() : m_layers.lastError();
    loadProxies();
    emit controlsChanged();
    return outcome;
}

KCDisplayActionManager::Outcome KCDisplayActionManager::changeDisplay(const QString &signature)
{
    if (!enabled()) {
        m_lastError = QStringLiteral("No key of a layer is selected");
        return Outcome::Refused;
    }
    const bool nothing = signature == KCPluginManager::NothingSignature;
    const bool picture = signature == KCPluginManager::PictureSignature;
    if (!nothing && !picture &&
        m_catalogue.pluginTypeForId(signature) != KCPluginManager::DisplayPluginType) {
        m_lastError = QStringLiteral("%1 is not an installed display plugin").arg(signature);
        return Outcome::Refused;
    }
    KCLayerManager::KeyStates states;
    for (const QString &key : std::as_const(m_keys)) {
        if (nothing) {
            states[key] = std::nullopt;
            continue;
        }
        const auto old = m_layers.keyState(m_layer, key);
        KCLayerManager::KeyState state = old.value_or(KCLayerManager::KeyState{blackKey(), {}});
        if (picture) {
            state.info.remove(KCLayerManager::DisplayPluginKey);
            if (old && old->info.contains(KCLayerManager::DisplayPluginKey))
                state.picture = blackKey();
        } else if (state.info.value(KCLayerManager::DisplayPluginKey).toMap().value(kSignature) !=
                   signature) {
            // The same plugin chosen again keeps its settings.
            state.info.insert(KCLayerManager::DisplayPluginKey, QVariantMap{{kSignature, signature}});
        }
        states[key] = state;
    }
    return edit(states, nothing ? QStringLiteral("Remove Keys") : QStringLiteral("Change Display"));
}

KCDisplayActionManager::Outcome KCDisplayActionManager::changeAction(const QString &signature)
{
    if (!enabled()) {
        m_lastError = QStringLiteral("No key of a layer is selected");
        return Outcome::Refused;
    }
    const bool normal = signature == KCPluginManager::DefaultKeystrokeSignature;
    if (!normal && m_catalogue.pluginTypeForId(signature) != KCPluginManager::ActionPluginType) {
        m_lastError = QStringLiteral("%1 is not an installed action plugin").arg(signature);
        return Outcome::Refused;
    }
    KCLayerManager::KeyStates states;
    for (const QString &key : std::as_const(m_keys)) {
        const auto old = m_layers.keyState(m_layer, key);
        // A key the layer does not have acts normally already; making it would black it out.
        if (normal && !old)
            continue;
        KCLayerManager::KeyState state = old.value_or(KCLayerManager::KeyState{blackKey(), {}});
        if (normal)
            state.info.remove(KCLayerManager::ActionPluginKey);
        else if (state.info.value(KCLayerManager::ActionPluginKey).toMap().value(kSignature) != signature)
            state.info.insert(KCLayerManager::ActionPluginKey, QVariantMap{{kSignature, signature}});
        states[key] = state;
    }
    return edit(states, QStringLiteral("Change Action"));
}

void KCDisplayActionManager::applyPicture(const QImage &picture)
{
    if (!enabled() || picture.isNull())
        return;
    // The keys and layer of now: by the time the edit is made the selection may have moved on.
    m_picture = picture;
    m_pictureLayer = m_layer;
    m_pictureKeys = m_keys;
    m_pictureTimer->start();
}

KCDisplayActionManager::Outcome KCDisplayActionManager::flushPicture()
{
    m_pictureTimer->stop();
    if (m_picture.isNull())
        return Outcome::Done;
    KCLayerManager::KeyStates states;
    for (const QString &key : std::as_const(m_pictureKeys)) {
        // A key removed meanwhile stays removed.
        const auto old = m_layers.keyState(m_pictureLayer, key);
        if (!old)
            continue;
        KCLayerManager::KeyState state = *old;
        state.picture = m_picture;
        state.info.remove(KCLayerManager::DisplayPluginKey);
        states[key] = state;
    }
    m_picture = QImage();
    const Outcome outcome = states.empty()
                                ? Outcome::Done
                                : m_layers.setKeys(m_pictureLayer, states, QStringLiteral("Change Picture"));
    m_lastError = outcome == Outcome::Done ? QString() : m_layers.lastError();
    emit controlsChanged();
    return outcome;
}

KCDisplayActionManager::Outcome KCDisplayActionManager::deleteButtons()
{
    return deleteKeys(m_keys);
}

KCDisplayActionManager::Outcome KCDisplayActionManager::deleteKeys(const QStringList &keys)
{
    return deleteKeysOfLayer(m_layer, keys);
}

KCDisplayActionManager::Outcome KCDisplayActionManager::deleteKeysOfLayer(const QString &layerIdentifier,
                                                                          const QStringList &keys)
{
    const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(m_layers.findLayerByID(layerIdentifier));
    if (!layer)
        return refuse(QStringLiteral("No key of a layer is selected"));
    KCLayerManager::KeyStates states;
    for (const QString &key : keys) {
        if (layer->hasButton(key))
            states[key] = std::nullopt;
    }
    const Outcome outcome = m_layers.setKeys(layerIdentifier, states, QStringLiteral("Delete Keys"));
    m_lastError = outcome == Outcome::Done ? QString() : m_layers.lastError();
    loadProxies();
    emit controlsChanged();
    return outcome;
}

KCDisplayActionManager::Outcome KCDisplayActionManager::refuse(const QString &why)
{
    m_lastError = why;
    return Outcome::Refused;
}

KCDisplayActionManager::Outcome KCDisplayActionManager::pasteEntries(const KCKeyClipboard::Entries &entries,
                                                                     const QStringList &targets)
{
    if (!currentLayer())
        return refuse(QStringLiteral("Keys are pasted into a layer of the user's"));
    std::vector<std::pair<QString, const KCKeyClipboard::Entry *>> pastes;
    if (entries.size() == 1 && !targets.isEmpty()) {
        for (const QString &target : targets)
            pastes.emplace_back(target, &entries.begin()->second);
    } else {
        for (const auto &[key, entry] : entries) {
            if (key != KCKeyClipboard::UnknownButton)
                pastes.emplace_back(key, &entry);
        }
    }
    KCLayerManager::KeyStates states;
    for (const auto &[key, entry] : pastes) {
        const auto old = m_layers.keyState(m_layer, key);
        KCLayerManager::KeyState state = old.value_or(KCLayerManager::KeyState{blackKey(), {}});
        if (entries.begin()->first != KCKeyClipboard::UnknownButton) {
            // A copied key: the target becomes its copy.
            state.info = entry->info;
            state.picture = entry->picture.isNull() ? blackKey() : entry->picture;
            states[key] = state;
            continue;
        }
        const QVariantMap display = entry->info.value(KCLayerManager::DisplayPluginKey).toMap();
        if (display.value(kSignature) == KCPluginManager::PictureSignature) {
            state.info.remove(KCLayerManager::DisplayPluginKey);
            state.picture = blackKey();
        } else if (!display.isEmpty()) {
            state.info.insert(KCLayerManager::DisplayPluginKey, display);
        }
        if (entry->info.contains(KCLayerManager::ActionPluginKey)) {
            state.info.insert(KCLayerManager::ActionPluginKey,
                              entry->info.value(KCLayerManager::ActionPluginKey));
            // A new key shows the action plugin's icon rather than nothing.
            if (!old && !state.info.contains(KCLayerManager::DisplayPluginKey) &&
                !entry->extraPicture.isNull())
                state.picture = entry->extraPicture;
        }
        states[key] = state;
    }
    if (states.empty())
        return refuse(QStringLiteral("The clipboard holds no key to paste here"));
    return edit(states, QStringLiteral("Paste Keys"));
}

KCDisplayActionManager::Outcome KCDisplayActionManager::moveKey(const KCKeyClipboard::Drag &drag,
                                                                const QString &target, bool copy)
{
    if (drag.layer == m_layer && drag.key == target)
        return Outcome::Done;
    // A move needs its source where the drag says it is; otherwise only a copy can be made.
    if (!copy && m_layers.keyState(drag.layer, drag.key)) {
        const Outcome outcome = m_layers.moveKey(drag.layer, drag.key, m_layer, target);
        m_lastError = outcome == Outcome::Done ? QString() : m_layers.lastError();
        loadProxies();
        emit controlsChanged();
        return outcome;
    }
    KCLayerManager::KeyState copied{drag.entry.picture.isNull() ? blackKey() : drag.entry.picture,
                                    drag.entry.info};
    return edit({{target, copied}}, QStringLiteral("Copy Key"));
}

bool KCDisplayActionManager::isAnimationFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("gif") && suffix != QLatin1String("webp"))
        return false;
    QImageReader reader(path);
    return reader.supportsAnimation() && reader.imageCount() > 1;
}

KCDisplayActionManager::Outcome
KCDisplayActionManager::dropOnKey(const QMimeData &data, const std::optional<QString> &key, bool copy)
{
    if (!currentLayer())
        return refuse(QStringLiteral("Keys are dropped into a layer of the user's"));
    const QString target = key.value_or(m_keys.value(0));
    if (const auto drag = KCKeyClipboard::readDrag(data)) {
        if (target.isEmpty())
            return refuse(QStringLiteral("A key is dropped onto a key"));
        return land(moveKey(*drag, target, copy || !KCKeyClipboard::isFromThisProcess(data)), {target}, true);
    }
    if (const auto entries = KCKeyClipboard::readButtons(data)) {
        QStringList pasted;
        if (entries->size() == 1 && !target.isEmpty())
            pasted.append(target);
        else
            for (const auto &[name, entry] : *entries)
                pasted.append(name);
        return land(pasteEntries(*entries, target.isEmpty() ? QStringList() : QStringList{target}), pasted,
                    false);
    }
    if (target.isEmpty())
        return refuse(QStringLiteral("A picture is dropped onto a key"));
    QImage picture;
    if (data.hasUrls() && !data.urls().isEmpty() && data.urls().first().isLocalFile()) {
        const QString path = data.urls().first().toLocalFile();
        if (isAnimationFile(path)) {
            auto state =
                m_layers.keyState(m_layer, target).value_or(KCLayerManager::KeyState{blackKey(), {}});
            state.info.insert(KCLayerManager::DisplayPluginKey,
                              QVariantMap{{kSignature, KCPluginManager::AnimationSignature},
                                          {kSettings, QVariantMap{{QStringLiteral("filePath"), path}}}});
            startQuietPeriod();
            return land(edit({{target, state}}, QStringLiteral("Drop Animation")), {target}, true);
        }
        const Result<QImage> read = readPictureFile(path);
        if (!read)
            return refuse(read.error());
        picture = *read;
    } else if (data.hasImage()) {
        picture = qvariant_cast<QImage>(data.imageData());
    }
    if (picture.isNull())
        return refuse(QStringLiteral("Nothing that was dropped is a picture or a key"));
    auto state = m_layers.keyState(m_layer, target).value_or(KCLayerManager::KeyState{blackKey(), {}});
    state.picture = keyPictureAtScale(picture, 1.0);
    state.info.remove(KCLayerManager::DisplayPluginKey);
    startQuietPeriod();
    return land(edit({{target, state}}, QStringLiteral("Drop Picture")), {target}, true);
}

KCDisplayActionManager::Outcome KCDisplayActionManager::land(Outcome outcome, const QStringList &keys,
                                                             bool alone)
{
    m_landing = outcome == Outcome::Done ? Landing{keys, alone} : Landing{};
    return outcome;
}

void KCDisplayActionManager::startQuietPeriod()
{
    m_safeToUpdateControls = false;
    m_quietTimer->start();
}

QImage KCDisplayActionManager::keyPicture(const QString &key) const
{
    const auto state = m_layers.keyState(m_layer, key);
    return state ? state->picture : QImage();
}

KCSettingsProxy *KCDisplayActionManager::proxyForSignature(const QString &signature)
{
    auto &proxy = m_proxies[signature];
    if (!proxy)
        proxy = std::make_unique<KCSettingsProxy>(signature, *this);
    return proxy.get();
}

void KCDisplayActionManager::loadProxies()
{
    const auto layer = currentLayer();
    if (!layer || m_keys.size() != 1)
        return;
    for (const QVariantMap &entry :
         {layer->displayPluginForButton(m_keys.first()), layer->actionPluginForButton(m_keys.first())}) {
        const QString signature = entry.value(kSignature).toString();
        if (!signature.isEmpty())
            proxyForSignature(signature)->setSettings(entry.value(kSettings).toMap());
    }
}

std::optional<std::pair<std::shared_ptr<KCButton>, KCButton::Side>>
KCDisplayActionManager::currentPlugin(const QString &signature) const
{
    const auto layer = currentLayer();
    const auto button = layer && m_keys.size() == 1 ? layer->buttonForName(m_keys.first()) : nullptr;
    if (!button)
        return std::nullopt;
    if (button->displayPluginSettings().value(kSignature) == signature)
        return std::make_pair(button, KCButton::Side::Display);
    if (button->actionPluginSettings().value(kSignature) == signature)
        return std::make_pair(button, KCButton::Side::Action);
    return std::nullopt;
}

QVariant KCDisplayActionManager::currentValueForSetting(const QString &signature, const QString &key)
{
    const auto plugin = currentPlugin(signature);
    return plugin ? plugin->first->pluginValueForKey(plugin->second, key) : QVariant();
}

bool KCDisplayActionManager::validateSetting(const QString &signature, QVariant &value, const QString &key)
{
    const auto plugin = currentPlugin(signature);
    return !plugin || plugin->first->validatePluginValue(plugin->second, value, key);
}

void KCDisplayActionManager::updatePluginSettings(const QString &signature, const QVariantMap &changed)
{
    if (!m_safeToUpdateControls) {
        qCInfo(lcPluginCatalogue, "Settings of %s ignored: a picture has just landed on a key",
               qUtf8Printable(signature));
        return;
    }
    const auto layer = currentLayer();
    if (!layer || m_keys.size() != 1)
        return;
    const QString key = m_keys.first();
    QString side;
    if (layer->displayPluginForButton(key).value(kSignature) == signature)
        side = KCLayerManager::DisplayPluginKey;
    else if (layer->actionPluginForButton(key).value(kSignature) == signature)
        side = KCLayerManager::ActionPluginKey;
    else
        return;
    KCPluginSettingsTrampoline *trampoline = m_trampoline.get();
    const QString layerIdentifier = m_layer;
    const Outcome outcome = m_layers.mergeKeySettings(
        m_layer, key, side, changed, [trampoline, layerIdentifier, key, side](const QVariantMap &changes) {
            trampoline->schedule(layerIdentifier, key, side, changes);
        });
    m_lastError = outcome == Outcome::Done ? QString() : m_layers.lastError();
}

} // namespace brevona
