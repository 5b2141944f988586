#include "KCKeyboardView.h"

#include <algorithm>
#include <cmath>

#include <QAccessible>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>

#include "DeferredPictureQueue.h"
#include "InterfaceLogging.h"
#include "KCKeyboardViewAccessible.h"
#include "KCKeyboardViewDelegate.h"
#include "KCLayer.h"
#include "KeySelection.h"
#include "KeyboardCanvas.h"
#include "KeyboardData.h"
#include "KeyboardMimeTypes.h"
#include "Paths.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "ResourceFiles.h"

namespace brevona {

namespace {

// What a key's screen area adds round its outside rectangle: frame, shadow and selection outline.
constexpr int kKeyMargin = DeferredPictureQueue::Margin;
constexpr qreal kSelectionWidth = 3;

QSize installedImageSize()
{
    const QSize size =
        QImageReader(QDir(Paths::resourceFolder()).filePath(resourcefiles::BlackKeyboard)).size();
    return size.isValid() && !size.isEmpty()
               ? size
               : QSize(KeyboardData::kPictureWidth, KeyboardData::kPictureHeight);
}

QColor grey(double level, double alpha = 1.0)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

} // namespace

KCKeyboardView::KCKeyboardView(QWidget *parent)
    : KCKeyboardView(KeyboardGeometry::loadInstalled(installedImageSize()), &PreferencesStore::shared(),
                     parent)
{}

KCKeyboardView::KCKeyboardView(KeyboardGeometry geometry, PreferencesStore *preferences, QWidget *parent)
    : QWidget(parent)
    , m_geometry(std::move(geometry))
    , m_preferences(preferences)
    , m_canvas(std::make_unique<KeyboardCanvas>(m_geometry))
    , m_selection(
          std::make_unique<KeySelection>(m_geometry, [this](int key) { return m_canvas->hasPicture(key); }))
    , m_deferred(std::make_unique<DeferredPictureQueue>(m_geometry))
{
    KCKeyboardViewAccessible::installFactory();
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    setAccessibleName(tr("Keyboard"));
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    m_pulseTimer.setInterval(SelectionPulse::TickMs);
    connect(&m_pulseTimer, &QTimer::timeout, this, &KCKeyboardView::pulseTick);
    connect(m_deferred.get(), &DeferredPictureQueue::due, this, &KCKeyboardView::checkDynamicDrawQueue);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, &KCKeyboardView::checkPulse);
    if (m_preferences)
        connect(m_preferences, &PreferencesStore::valueChanged, this, &KCKeyboardView::readPreferences);
    setColorType(m_preferences ? int(m_preferences->integerValue(PreferenceKeys::KeyboardBackgroundColorType))
                               : 0);
}

KCKeyboardView::~KCKeyboardView() = default;

// Pictures ----------------------------------------------------------------------------------------

void KCKeyboardView::setImage(const QImage &picture, const QString &key)
{
    const int index = m_geometry.indexOf(key);
    if (index < 0)
        return;
    m_canvas->setPicture(index, picture);
    updateKey(index);
}

void KCKeyboardView::setDynamicImage(const QImage &picture, const QString &key)
{
    if (m_geometry.indexOf(key) < 0)
        return;
    m_deferred->enqueue(key, picture, m_inMouseEvent);
}

void KCKeyboardView::clearDynamicQueueForButton(const QString &key)
{
    m_deferred->remove(key);
}

void KCKeyboardView::clearDynamicQueue()
{
    m_deferred->clear();
}

void KCKeyboardView::checkDynamicDrawQueue()
{
    const DeferredPictureQueue::Batch batch = m_deferred->take();
    for (const auto &[key, picture] : batch.pictures) {
        const int index = m_geometry.indexOf(key);
        if (m_canvas->hasPicture(index))
            m_canvas->setPicture(index, picture);
    }
    for (const QRect &area : batch.areas)
        update(viewRectForImageRect(area).toAlignedRect());
}

QImage KCKeyboardView::imageForButton(const QString &key) const
{
    return m_canvas->picture(m_geometry.indexOf(key));
}

void KCKeyboardView::removeButtonImages(const std::optional<QStringList> &keys)
{
    if (!keys) {
        m_canvas->clearPictures();
        update();
        return;
    }
    for (const QString &key : *keys)
        setImage(QImage(), key);
}

void KCKeyboardView::showLayer(KCLayer &layer)
{
    std::vector<QImage> pictures(static_cast<size_t>(m_geometry.count()));
    for (const QString &key : layer.buttonNames()) {
        const int index = m_geometry.indexOf(key);
        if (index >= 0)
            pictures[static_cast<size_t>(index)] = layer.imageForButton(key);
    }
    m_canvas->setPictures(std::move(pictures));
    update();
}

void KCKeyboardView::setColorType(int colorType)
{
    if (colorType == m_colorType)
        return;
    m_colorType = colorType;
    loadBackground();
    m_canvas->redraw();
    update();
}

void KCKeyboardView::loadBackground()
{
    const QString path =
        QDir(Paths::resourceFolder())
            .filePath(m_colorType == 0 ? resourcefiles::BlackKeyboard : resourcefiles::WhiteKeyboard);
    QImage background(path);
    const QSize size = m_geometry.imageSize().isEmpty() ? QSize(1, 1) : m_geometry.imageSize();
    if (background.isNull()) {
        qCWarning(lcInterface, "Keyboard background %s cannot be read; a plain one stands for it",
                  qUtf8Printable(path));
        background = QImage(size, QImage::Format_ARGB32_Premultiplied);
        background.fill(m_colorType == 0 ? grey(0.15) : grey(0.85));
    } else if (background.size() != size) {
        background = background.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    m_background = background.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_screenBackground = QImage();
}

const QImage &KCKeyboardView::screenBackground(qreal devicePixelRatio)
{
    // The background scaled once to the device's pixels, so that a repaint copies it pixel for
    // pixel instead of scaling it again.
    const QSize size = (QSizeF(this->size()) * devicePixelRatio).toSize();
    if (m_screenBackground.size() == size && m_screenBackground.devicePixelRatio() == devicePixelRatio)
        return m_screenBackground;
    m_screenBackground = QImage(size, QImage::Format_ARGB32_Premultiplied);
    m_screenBackground.setDevicePixelRatio(devicePixelRatio);
    m_screenBackground.fill(Qt::transparent);
    QPainter painter(&m_screenBackground);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(viewRectForImageRect(QRectF(QPointF(), QSizeF(m_geometry.imageSize()))), m_background);
    return m_screenBackground;
}

void KCKeyboardView::readPreferences(const QString &key)
{
    if (!m_preferences)
        return;
    if (key == PreferenceKeys::KeyboardBackgroundColorType)
        setColorType(int(m_preferences->integerValue(PreferenceKeys::KeyboardBackgroundColorType)));
    else if (key == PreferenceKeys::KeyboardSelectionColor)
        update();
}

QColor KCKeyboardView::selectionColor() const
{
    const PreferenceKeys::Colour fallback{0.1, 1.0, 1.0, 1.0};
    const auto colour = m_preferences ? PreferenceKeys::Colour::fromArchive(
                                            m_preferences->dataValue(PreferenceKeys::KeyboardSelectionColor))
                                      : std::nullopt;
    const PreferenceKeys::Colour value = colour.value_or(fallback);
    const double alpha = m_pulseTimer.isActive() && !m_inMouseEvent ? m_pulse.alpha() : 1.0;
    return QColor::fromHsvF(float(value.hue), float(value.saturation), float(value.brightness),
                            float(std::clamp(alpha, 0.0, 1.0)));
}

// Selection ---------------------------------------------------------------------------------------

void KCKeyboardView::selectionWillChange()
{
    m_previousSelection = m_selection->names();
}

void KCKeyboardView::selectionDidChange()
{
    const QStringList &now = m_selection->names();
    if (now == m_previousSelection)
        return;
    QStringList touched = m_previousSelection;
    for (const QString &key : now) {
        if (!touched.contains(key))
            touched.append(key);
    }
    for (const QString &key : std::as_const(touched))
        updateKey(m_geometry.indexOf(key));
    if (QAccessible::isActive()) {
        for (const QString &key : std::as_const(touched)) {
            if (m_previousSelection.contains(key) != now.contains(key))
                KCKeyboardViewAccessible::keySelectionChanged(this, m_geometry.indexOf(key));
        }
    }
    m_previousSelection = now;
    announceSelection();
    checkPulse();
}

void KCKeyboardView::announceSelection()
{
    if (m_selectionAnnouncePending)
        return;
    m_selectionAnnouncePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_selectionAnnouncePending = false;
            Q_EMIT selectionChanged();
        },
        Qt::QueuedConnection);
}

void KCKeyboardView::selectButtonNamed(const QString &key, bool extend)
{
    selectionWillChange();
    m_selection->select(key, extend);
    selectionDidChange();
}

void KCKeyboardView::toggleButtonNamed(const QString &key)
{
    selectionWillChange();
    m_selection->toggle(key);
    selectionDidChange();
}

void KCKeyboardView::selectAll()
{
    if (!m_canChangeSelection)
        return;
    selectionWillChange();
    m_selection->selectAll();
    selectionDidChange();
}

void KCKeyboardView::deselectAll()
{
    selectionWillChange();
    m_selection->deselectAll();
    selectionDidChange();
}

QStringList KCKeyboardView::selectedButtons() const
{
    return m_selection->names();
}

int KCKeyboardView::numberOfSelectedButtons() const
{
    return m_selection->size();
}

QString KCKeyboardView::emptyButtonNearestToCenter() const
{
    const int key = m_selection->emptyKeyNearestToCentre();
    return key >= 0 ? m_geometry.key(key).name : QString();
}

void KCKeyboardView::moveCursor(int dx, int dy, bool extend)
{
    if (!m_canChangeSelection)
        return;
    selectionWillChange();
    m_selection->move({dx, dy}, extend, m_lastDeletedButton);
    selectionDidChange();
}

void KCKeyboardView::setCanChangeSelection(bool can)
{
    m_canChangeSelection = can;
    if (!can)
        deselectAll();
}

void KCKeyboardView::setCanChangeButtons(bool can)
{
    m_selection->setCanChangeButtons(can);
}

bool KCKeyboardView::canChangeButtons() const
{
    return m_selection->canChangeButtons();
}

void KCKeyboardView::setMessage(const QString &text, const QString &description, const QImage &icon)
{
    m_messageText = text;
    m_messageDescription = description;
    m_messageIcon = icon;
    update();
}

// Editing commands --------------------------------------------------------------------------------

void KCKeyboardView::copy()
{
    if (m_delegate && m_selection->size() > 0)
        m_delegate->putButtonsInClipboard(m_selection->names());
}

void KCKeyboardView::cut()
{
    if (!m_delegate || m_selection->size() == 0)
        return;
    const QStringList keys = m_selection->names();
    if (!m_delegate->cutButtons(keys))
        return;
    m_lastDeletedButton = keys.last();
    deselectAll();
}

void KCKeyboardView::paste()
{
    if (!m_delegate)
        return;
    const QMimeData *clipboard = QGuiApplication::clipboard()->mimeData();
    const bool holdsKeys = clipboard && clipboard->hasFormat(mimetypes::KeyboardButtons);
    if (!holdsKeys && m_selection->size() != 1)
        return;
    const QMimeData empty;
    const std::optional<QString> target =
        m_selection->size() > 0 ? std::optional(m_selection->names().first()) : std::nullopt;
    m_delegate->pasteDataOnButton(target, clipboard ? *clipboard : empty, std::nullopt);
}

void KCKeyboardView::deleteSelectedButtons()
{
    if (m_selection->size() == 0)
        return;
    const QStringList keys = m_selection->names();
    if (m_delegate)
        m_delegate->deleteButtons(keys);
    m_lastDeletedButton = keys.last();
    deselectAll();
}

// Geometry on screen ------------------------------------------------------------------------------

qreal KCKeyboardView::scaleFactor() const
{
    const QSize image = m_geometry.imageSize();
    if (width() <= 0 || height() <= 0 || image.isEmpty())
        return 0;
    // The whole keyboard fits, in its own proportions.
    return std::max(qreal(image.width()) / width(), qreal(image.height()) / height());
}

QPointF KCKeyboardView::offset() const
{
    const qreal scale = scaleFactor();
    if (scale <= 0)
        return {};
    const QSize image = m_geometry.imageSize();
    return QPointF((width() - image.width() / scale) / 2, (height() - image.height() / scale) / 2);
}

int KCKeyboardView::cacheResolution(qreal devicePixelRatio) const
{
    const qreal scale = scaleFactor();
    if (scale <= 0)
        return 1;
    return std::clamp(int(std::ceil(devicePixelRatio / scale - 0.01)), 1, 4);
}

QRectF KCKeyboardView::viewRectForImageRect(const QRectF &imageRect) const
{
    const qreal scale = scaleFactor();
    if (scale <= 0)
        return {};
    return QRectF(offset() + imageRect.topLeft() / scale, imageRect.size() / scale);
}

QPointF KCKeyboardView::imagePointForViewPoint(QPointF viewPoint) const
{
    const qreal scale = scaleFactor();
    return scale > 0 ? (viewPoint - offset()) * scale : QPointF(-1, -1);
}

QString KCKeyboardView::buttonAt(QPointF viewPoint) const
{
    if (scaleFactor() <= 0)
        return {};
    const int key = m_geometry.keyAt(imagePointForViewPoint(viewPoint));
    return key >= 0 ? m_geometry.key(key).name : QString();
}

QRectF KCKeyboardView::viewRectOfButton(const QString &key) const
{
    const int index = m_geometry.indexOf(key);
    return index >= 0 ? viewRectForImageRect(m_geometry.key(index).outside) : QRectF();
}

QPoint KCKeyboardView::screenPointOfButton(const QString &key) const
{
    const int index = m_geometry.indexOf(key);
    if (index < 0)
        return {};
    return mapToGlobal(viewRectForImageRect(m_geometry.key(index).inside).center().toPoint());
}

void KCKeyboardView::updateKey(int key)
{
    if (key >= 0 && key < m_geometry.count())
        updateImageRect(
            m_geometry.key(key).outside.adjusted(-kKeyMargin, -kKeyMargin, kKeyMargin, kKeyMargin));
}

void KCKeyboardView::updateImageRect(const QRect &imageRect)
{
    if (scaleFactor() > 0)
        update(viewRectForImageRect(imageRect).toAlignedRect());
}

int KCKeyboardView::heightForWidth(int width) const
{
    const QSize image = m_geometry.imageSize();
    return image.isEmpty() ? 0 : width * image.height() / image.width();
}

QSize KCKeyboardView::sizeHint() const
{
    // Half the picture's size: the whole keyboard fits a laptop's window.
    return m_geometry.imageSize() / 2;
}

void KCKeyboardView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        checkPulse();
}

// Drawing -----------------------------------------------------------------------------------------

void KCKeyboardView::paintEvent(QPaintEvent *event)
{
    const qreal scale = scaleFactor();
    if (scale <= 0)
        return;
    QPainter painter(this);
    // The device's own pixels per view point: the screen's, or a picture's the view is rendered into.
    const qreal devicePixelRatio = painter.deviceTransform().m11();
    m_canvas->setResolution(cacheResolution(devicePixelRatio));
    const QImage &background = screenBackground(devicePixelRatio);
    for (const QRect &dirty : event->region())
        painter.drawImage(
            dirty, background,
            QRectF(QPointF(dirty.topLeft()) * devicePixelRatio, QSizeF(dirty.size()) * devicePixelRatio));
    const QPointF shift = offset();
    painter.translate(shift);
    painter.scale(1 / scale, 1 / scale);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect bounds(QPoint(), m_geometry.imageSize());
    const int resolution = m_canvas->resolution();
    for (const QRect &dirty : event->region()) {
        const QRectF viewArea = QRectF(dirty).translated(-shift);
        const QRectF exact(viewArea.topLeft() * scale, viewArea.size() * scale);
        const QRect area = exact.toAlignedRect().intersected(bounds);
        if (area.isEmpty())
            continue;
        // Each dirty rectangle once: translucent shadows and edges must not add up where they meet.
        painter.setClipRect(exact);
        // A shadow under every key that has a picture, where it shows: round the frame.
        for (int key = 0; key < m_geometry.count(); ++key) {
            const QRect outside = m_geometry.key(key).outside;
            if (m_canvas->hasPicture(key) && outside.adjusted(-4, -4, 4, 5).intersects(area))
                paintShadow(painter, outside);
        }
        painter.drawImage(QRectF(area), m_canvas->image(),
                          QRectF(QPointF(area.topLeft()) * resolution, QSizeF(area.size()) * resolution));
    }
    painter.setClipping(false);
    paintOverlay(painter);
}

void KCKeyboardView::paintShadow(QPainter &painter, const QRect &outside)
{
    const QColor shade(0, 0, 0, 90);
    const QRect outer = outside.adjusted(-3, -2, 3, 4);
    const QRect frame = outside.adjusted(-2, -2, 2, 2);
    painter.fillRect(QRect(outer.left(), outer.top(), frame.left() - outer.left(), outer.height()), shade);
    painter.fillRect(QRect(frame.right() + 1, outer.top(), outer.right() - frame.right(), outer.height()),
                     shade);
    painter.fillRect(QRect(frame.left(), frame.bottom() + 1, frame.width(), outer.bottom() - frame.bottom()),
                     shade);
}

void KCKeyboardView::paintOverlay(QPainter &painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const int highlight = m_geometry.indexOf(m_dropHighlight);
    if (highlight >= 0) {
        QPen dashed(grey(1.0, 0.9), 2, Qt::DashLine);
        painter.setPen(dashed);
        painter.drawRoundedRect(QRectF(m_geometry.key(highlight).outside).adjusted(-3, -3, 3, 3), 4, 4);
    }
    const QColor colour = selectionColor();
    painter.setPen(QPen(colour, kSelectionWidth));
    for (const QString &name : m_selection->names()) {
        const int key = m_geometry.indexOf(name);
        if (key >= 0)
            painter.drawRoundedRect(QRectF(m_geometry.key(key).outside).adjusted(-3, -3, 3, 3), 4, 4);
    }
    painter.resetTransform();
    if (!m_band.isEmpty()) {
        painter.setPen(QPen(grey(1.0, 0.6), 1));
        painter.setBrush(grey(1.0, 0.15));
        painter.drawRoundedRect(m_band, 3, 3);
    }
    if (!m_messageText.isEmpty())
        paintMessage(painter);
}

void KCKeyboardView::paintMessage(QPainter &painter)
{
    const bool dark = m_colorType == 0;
    QFont textFont = font();
    textFont.setBold(true);
    textFont.setPointSizeF(28);
    QFont descriptionFont = textFont;
    descriptionFont.setPointSizeF(16);
    const QRectF panel =
        QRectF(rect()).adjusted(width() * 0.2, height() * 0.3, -width() * 0.2, -height() * 0.3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(dark ? grey(0.0, 0.6) : grey(1.0, 0.6));
    painter.drawRoundedRect(panel, 10, 10);
    QRectF textArea = panel.adjusted(12, 8, -12, -8);
    if (!m_messageIcon.isNull()) {
        const qreal side = std::min<qreal>(textArea.height(), 64);
        painter.drawImage(QRectF(textArea.left(), textArea.center().y() - side / 2, side, side),
                          m_messageIcon);
        textArea.setLeft(textArea.left() + side + 12);
    }
    painter.setFont(textFont);
    painter.setPen(dark ? grey(0.8) : grey(0.2));
    painter.drawText(textArea, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_messageText);
    painter.setFont(descriptionFont);
    painter.setPen(dark ? grey(0.7, 0.8) : grey(0.3, 0.8));
    painter.drawText(textArea, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap, m_messageDescription);
}

// The pulse ---------------------------------------------------------------------------------------

void KCKeyboardView::checkPulse()
{
    const bool run = SelectionPulse::shouldRun(m_inMouseEvent, m_selection->size(), isActiveWindow(),
                                               QGuiApplication::applicationState() == Qt::ApplicationActive);
    if (run == m_pulseTimer.isActive())
        return;
    if (run) {
        m_pulse.reset();
        m_pulseTimer.start();
    } else {
        m_pulseTimer.stop();
    }
    for (const QString &key : m_selection->names())
        updateKey(m_geometry.indexOf(key));
}

void KCKeyboardView::pulseTick()
{
    m_pulse.tick();
    for (const QString &key : m_selection->names())
        updateKey(m_geometry.indexOf(key));
}

void KCKeyboardView::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    checkPulse();
}

void KCKeyboardView::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    checkPulse();
}

} // namespace brevona
