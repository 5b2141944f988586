#include "KCDisplayActionTables.h"

#include <QMimeData>
#include <QPainter>
#include <QTimer>

#include "KCKeyClipboard.h"
#include "KCKeyboardPreview.h"
#include "KCPlugin.h"
#include "KCPluginManager.h"
#include "KeyboardData.h"
#include "LayerPicture.h"
#include "NotificationCenter.h"
#include "PluginsLogging.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "ResourceFiles.h"

namespace brevona {

namespace {

QImage resourceImage(const QString &name)
{
    QImage image(KeyboardData::shared().filePath(name));
    if (image.isNull())
        qCWarning(lcPluginCatalogue).noquote()
            << QStringLiteral("The plugin tables' picture %1 cannot be read").arg(name);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

KCDisplayActionTables::KCDisplayActionTables(KCPluginManager &catalogue, PreferencesStore *preferences,
                                             QObject *parent)
    : QObject(parent)
    , m_itemMaskImage(resourceImage(resourcefiles::PluginItemMask))
    , m_unknownIcon(resourceImage(resourcefiles::UnknownPluginIcon))
    , m_catalogue(catalogue)
    , m_preferences(preferences)
{
    // Without its pictures a plugin still drags: as its own icon on nothing.
    if (m_itemMaskImage.isNull()) {
        m_itemMaskImage = QImage(BigIconX * 2 + LayerPicture::KeySize, BigIconY * 2 + LayerPicture::KeySize,
                                 QImage::Format_ARGB32_Premultiplied);
        m_itemMaskImage.fill(Qt::transparent);
    }
    NotificationCenter::defaultCenter().addObserver(this, KCPluginManager::DidUpdateBundlesInfo,
                                                    [this](Notification &) { pluginsInfoUpdated(); });
}

KCDisplayActionTables::~KCDisplayActionTables()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void KCDisplayActionTables::setDisplayActionManager(KCDisplayActionManager *manager)
{
    m_displayActionManager = manager;
}

void KCDisplayActionTables::setKeyboardPreview(KCKeyboardPreview *preview)
{
    m_keyboardPreview = preview;
}

void KCDisplayActionTables::prepare()
{
    QTimer::singleShot(PrepareDelayMs, this, &KCDisplayActionTables::pluginsInfoUpdated);
}

void KCDisplayActionTables::pluginsInfoUpdated()
{
    m_displayCategories = KCDisplayActionManager::shownCategories(m_catalogue, true);
    m_actionCategories = KCDisplayActionManager::shownCategories(m_catalogue, false);
    // A bundle installed again may bring other icons under the same signatures.
    m_preparedIconsCache.clear();
    m_dragCachedPluginIcons.clear();
    NotificationCenter::defaultCenter().post(UpdatedCategories);
    emit categoriesUpdated();
}

const QList<KCDisplayActionManager::PluginCategory> &KCDisplayActionTables::categories(Side side) const
{
    return side == Side::Display ? m_displayCategories : m_actionCategories;
}

int KCDisplayActionTables::numberOfPluginsInCategory(Side side, int category) const
{
    const auto &list = categories(side);
    return category >= 0 && category < list.size() ? int(list[category].signatures.size()) : 0;
}

int KCDisplayActionTables::numberOfRowsInCategory(Side side, int category) const
{
    return (numberOfPluginsInCategory(side, category) + Columns - 1) / Columns;
}

QString KCDisplayActionTables::pluginIdForRow(Side side, int category, int row, int column) const
{
    if (row < 0 || column < 0 || column >= Columns)
        return {};
    const auto &list = categories(side);
    return category >= 0 && category < list.size() ? list[category].signatures.value(row * Columns + column)
                                                   : QString();
}

QString KCDisplayActionTables::categoryTitle(Side side, int category) const
{
    const auto &list = categories(side);
    return category >= 0 && category < list.size() ? KCPlugin::categoryNameForId(list[category].identifier)
                                                   : QString();
}

QString KCDisplayActionTables::displayName(const QString &signature) const
{
    return m_catalogue.displayNameForPlugin(signature);
}

QString KCDisplayActionTables::description(const QString &signature) const
{
    return m_catalogue.descriptionForPlugin(signature);
}

QImage KCDisplayActionTables::iconOf(const QString &signature) const
{
    const QImage icon = m_catalogue.iconForPlugin(signature);
    return icon.isNull() ? m_unknownIcon : icon;
}

std::unique_ptr<QMimeData> KCDisplayActionTables::writePluginId(const QString &signature)
{
    // "Picture" is no plugin of the catalogue's: it stands for the key's own picture.
    const QString type = signature == KCPluginManager::PictureSignature
                             ? KCPluginManager::DisplayPluginType
                             : m_catalogue.pluginTypeForId(signature);
    if (type.isEmpty()) {
        qCInfo(lcPluginCatalogue).noquote()
            << QStringLiteral("No installed plugin is '%1': nothing to drag").arg(signature);
        return nullptr;
    }
    // A key that only gets an action would show nothing: it shows the plugin's icon.
    const QImage extra = type == KCPluginManager::ActionPluginType
                             ? KCDisplayActionManager::keyPictureAtScale(iconOf(signature), 1.0)
                             : QImage();
    return KCKeyClipboard::pluginData(type, signature, extra);
}

std::unique_ptr<QMimeData> KCDisplayActionTables::dragData(Side side, int category, int row, int column)
{
    const QString signature = pluginIdForRow(side, category, row, column);
    return signature.isEmpty() ? nullptr : writePluginId(signature);
}

QImage KCDisplayActionTables::preparedIconForId(const QString &signature)
{
    auto cached = m_preparedIconsCache.constFind(signature);
    if (cached != m_preparedIconsCache.cend())
        return *cached;
    QImage icon(SmallIconSide, SmallIconSide, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::black);
    {
        QPainter painter(&icon);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(0, 0, SmallIconSide, SmallIconSide), iconOf(signature));
    }
    // Rounded off like a key.
    const int last = SmallIconSide - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
        icon.setPixel(corner, 0);
    return *m_preparedIconsCache.insert(signature, icon);
}

QImage KCDisplayActionTables::bigIconForPlugin(const QString &signature)
{
    auto cached = m_dragCachedPluginIcons.constFind(signature);
    if (cached != m_dragCachedPluginIcons.cend())
        return *cached;
    QImage icon = m_itemMaskImage.copy();
    {
        QPainter painter(&icon);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(BigIconX, BigIconY, LayerPicture::KeySize, LayerPicture::KeySize),
                          iconOf(signature));
    }
    return *m_dragCachedPluginIcons.insert(signature, icon);
}

QStringList KCDisplayActionTables::doubleClickTargets(const QStringList &selected,
                                                      const QString &emptyNearest)
{
    if (!selected.isEmpty())
        return selected;
    return emptyNearest.isEmpty() ? QStringList() : QStringList{emptyNearest};
}

bool KCDisplayActionTables::fakeDragForPlugin(const QString &signature)
{
    std::shared_ptr<QMimeData> data = writePluginId(signature);
    if (!data)
        return false;
    // As if dropped: the gesture that started it ends first.
    QTimer::singleShot(FakeDragDelayMs, this, [this, data] { delayedFakeDrag(data); });
    return true;
}

void KCDisplayActionTables::delayedFakeDrag(const std::shared_ptr<QMimeData> &data)
{
    using Outcome = KCDisplayActionManager::Outcome;
    const auto refuse = [this](const QString &why) {
        qCInfo(lcPluginCatalogue).noquote() << why;
        emit pasted(Outcome::Refused, {}, why);
    };
    if (!m_displayActionManager || !m_keyboardPreview)
        return refuse(QStringLiteral("No keyboard to put the plugin on"));
    const auto entries = KCKeyClipboard::readButtons(*data);
    if (!entries)
        return refuse(QStringLiteral("The plugin's entry cannot be read"));
    const QStringList selected = m_keyboardPreview->selectedButtons();
    const QStringList targets = doubleClickTargets(
        selected, selected.isEmpty() ? m_keyboardPreview->emptyButtonNearestToCenter() : QString());
    if (targets.isEmpty())
        return refuse(QStringLiteral("No key is selected and every key is in use"));
    const Outcome outcome = m_displayActionManager->pasteEntries(*entries, targets);
    if (outcome == Outcome::Done) {
        for (const QString &key : targets)
            m_keyboardPreview->selectButtonNamed(key, true);
    }
    emit pasted(outcome, targets, outcome == Outcome::Done ? QString() : m_displayActionManager->lastError());
}

QString KCDisplayActionTables::preferenceKey(Side side) const
{
    return side == Side::Display ? PreferenceKeys::DisplayPluginsTableExpandedItems
                                 : PreferenceKeys::ActionPluginsTableExpandedItems;
}

bool KCDisplayActionTables::isCategoryExpanded(Side side, const QString &category) const
{
    // Until the user closes one, every category is open.
    if (!m_preferences || !m_preferences->contains(preferenceKey(side)))
        return true;
    return m_preferences->stringListValue(preferenceKey(side)).contains(category);
}

void KCDisplayActionTables::setCategoryExpanded(Side side, const QString &category, bool expanded)
{
    if (!m_preferences || isCategoryExpanded(side, category) == expanded)
        return;
    QStringList open = m_preferences->contains(preferenceKey(side))
                           ? m_preferences->stringListValue(preferenceKey(side))
                           : KCPlugin::sortedCategories();
    if (expanded)
        open.append(category);
    else
        open.removeAll(category);
    m_preferences->setValue(preferenceKey(side), open);
}

} // namespace brevona
