#include "KCKeyboardView.h"

#include <algorithm>
#include <cmath>

#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

#include "DeferredPictureQueue.h"
#include "InterfaceLogging.h"
#include "KCKeyboardViewDelegate.h"
#include "KeySelection.h"
#include "KeyboardCanvas.h"
#include "KeyboardMimeTypes.h"

// The keyboard view's mouse, key and drag-and-drop handling.

namespace brevona {

namespace {

// View points the pointer must travel before a press becomes a rubber band or a drag.
constexpr qreal kBandThreshold = 10;
// Less than this, and a press on no key is a click that deselects everything.
constexpr qreal kClickSlop = 7;
// What a redrawn band adds round itself.
constexpr int kBandMargin = DeferredPictureQueue::Margin;

} // namespace

// Mouse and keys ----------------------------------------------------------------------------------

void KCKeyboardView::mousePressEvent(QMouseEvent *event)
{
    if (!isEnabled() || !m_canChangeSelection || event->button() != Qt::LeftButton || scaleFactor() <= 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_inMouseEvent = true;
    checkPulse();
    m_bandStart = event->position();
    m_band = QRectF();
    const int key = m_geometry.keyAt(imagePointForViewPoint(event->position()));
    m_draggedButton = key >= 0 ? m_geometry.key(key).name : QString();
    if (key < 0)
        return;
    selectionWillChange();
    m_selection->click(key, event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
    selectionDidChange();
}

void KCKeyboardView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_inMouseEvent || !isEnabled() || !m_canChangeSelection)
        return;
    QRectF band = QRectF(m_bandStart, event->position()).normalized();
    band.setWidth(std::max<qreal>(band.width(), 1));
    band.setHeight(std::max<qreal>(band.height(), 1));
    if (band.width() + band.height() < kBandThreshold)
        return;
    const int dragged = m_geometry.indexOf(m_draggedButton);
    if (canChangeButtons() && m_canvas->hasPicture(dragged)) {
        update(m_band.adjusted(-kBandMargin, -kBandMargin, kBandMargin, kBandMargin).toAlignedRect());
        m_band = QRectF();
        startDragOut(m_draggedButton);
        return;
    }
    const QRectF old = m_band;
    m_band = band;
    const QRectF imageBand(imagePointForViewPoint(band.topLeft()), band.size() * scaleFactor());
    selectionWillChange();
    m_selection->rubberBand(imageBand, imagePointForViewPoint(event->position()));
    selectionDidChange();
    update(old.united(band).adjusted(-kBandMargin, -kBandMargin, kBandMargin, kBandMargin).toAlignedRect());
}

void KCKeyboardView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_inMouseEvent) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    update(m_band.adjusted(-kBandMargin, -kBandMargin, kBandMargin, kBandMargin).toAlignedRect());
    const QRectF moved = QRectF(m_bandStart, event->position()).normalized();
    if (m_draggedButton.isEmpty() && moved.width() + moved.height() < kClickSlop)
        deselectAll();
    finishMouseEvent();
}

void KCKeyboardView::finishMouseEvent()
{
    m_inMouseEvent = false;
    checkDynamicDrawQueue();
    m_draggedButton.clear();
    m_band = QRectF();
    m_bandStart = QPointF();
    m_pulse.reset();
    checkPulse();
}

void KCKeyboardView::keyPressEvent(QKeyEvent *event)
{
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        deleteSelectedButtons();
        return;
    case Qt::Key_Left:
        moveCursor(-1, 0, extend);
        return;
    case Qt::Key_Right:
        moveCursor(1, 0, extend);
        return;
    case Qt::Key_Up:
        moveCursor(0, -1, extend);
        return;
    case Qt::Key_Down:
        moveCursor(0, 1, extend);
        return;
    case Qt::Key_Escape:
        deselectAll();
        return;
    default:
        break;
    }
    if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::Cut))
        cut();
    else if (event->matches(QKeySequence::Paste))
        paste();
    else
        QWidget::keyPressEvent(event);
}

// Drag and drop -----------------------------------------------------------------------------------

QPixmap KCKeyboardView::dragPixmapForButton(const QString &key) const
{
    const QImage picture = imageForButton(key);
    const qreal scale = scaleFactor() > 0 ? scaleFactor() : 1;
    const int side = int(std::lround(48 / scale + 8));
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setOpacity(0.7);
    painter.drawImage(QRectF(2, 2, side - 4, side - 4), picture);
    QPainterPath frame;
    frame.addRect(QRectF(0, 0, side, side));
    frame.addRect(QRectF(2, 2, side - 4, side - 4));
    painter.fillPath(frame, QColor::fromRgbF(1, 1, 1, 0.4f));
    return pixmap;
}

void KCKeyboardView::startDragOut(const QString &key)
{
    std::unique_ptr<QMimeData> data =
        m_delegate && m_allowsDragAndDrop ? m_delegate->dragDataForButton(key) : nullptr;
    if (!data) {
        finishMouseEvent();
        return;
    }
    auto *drag = new QDrag(this);
    drag->setMimeData(data.release());
    const QPixmap pixmap = dragPixmapForButton(key);
    drag->setPixmap(pixmap);
    drag->setHotSpot(QPoint(int(pixmap.deviceIndependentSize().width() / 2),
                            int(pixmap.deviceIndependentSize().height() / 2)));
    m_dragOutButton = key;
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    m_dragOutButton.clear();
    // The drag took the button's release.
    finishMouseEvent();
}

bool KCKeyboardView::acceptsDrop(const QMimeData *data) const
{
    if (!data)
        return false;
    if (data->hasFormat(mimetypes::KeyboardButtonDrag) || data->hasFormat(mimetypes::KeyboardButtons) ||
        data->hasFormat(mimetypes::Png) || data->hasFormat(mimetypes::Tiff) || data->hasImage())
        return true;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl &url) { return url.isLocalFile(); });
}

void KCKeyboardView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!isEnabled() || !m_allowsDragAndDrop) {
        event->ignore();
        return;
    }
    if (!acceptsDrop(event->mimeData())) {
        qCInfo(lcInterface, "Keyboard view refuses a drop of %s: no keys, pictures or files",
               qUtf8Printable(event->mimeData() ? event->mimeData()->formats().join(QStringLiteral(", "))
                                                : QString()));
        event->ignore();
        return;
    }
    dragMoveEvent(event);
    // A view that refuses the enter is sent no moves at all: a drag that enters over its own key
    // (every drag out of a key does) must still be offered the others.
    event->accept(QRect(event->position().toPoint(), QSize(1, 1)));
}

void KCKeyboardView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!isEnabled() || !m_allowsDragAndDrop || !acceptsDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    QString key = buttonAt(event->position());
    if (key == m_dragOutButton)
        key.clear();
    if (key != m_dropHighlight) {
        updateKey(m_geometry.indexOf(m_dropHighlight));
        m_dropHighlight = key;
        updateKey(m_geometry.indexOf(key));
    }
    // The answer holds for this point only: without a rectangle Qt takes it for the whole view,
    // and a drag refused over its own key would never be offered the others.
    const QRect here(event->position().toPoint(), QSize(1, 1));
    if (key.isEmpty()) {
        event->ignore(here);
        return;
    }
    const Qt::DropAction wanted = event->modifiers() & Qt::AltModifier ? Qt::CopyAction : Qt::MoveAction;
    event->setDropAction(event->possibleActions() & wanted ? wanted : event->proposedAction());
    event->accept(here);
}

void KCKeyboardView::dragLeaveEvent(QDragLeaveEvent *event)
{
    QWidget::dragLeaveEvent(event);
    updateKey(m_geometry.indexOf(m_dropHighlight));
    m_dropHighlight.clear();
}

void KCKeyboardView::dropEvent(QDropEvent *event)
{
    checkDynamicDrawQueue();
    const QString key = m_dropHighlight;
    updateKey(m_geometry.indexOf(key));
    m_dropHighlight.clear();
    if (key.isEmpty() || !isEnabled() || !m_allowsDragAndDrop || !acceptsDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    const Qt::DropAction wanted = event->modifiers() & Qt::AltModifier ? Qt::CopyAction : Qt::MoveAction;
    event->setDropAction(event->possibleActions() & wanted ? wanted : event->proposedAction());
    event->accept();
    if (m_delegate)
        m_delegate->pasteDataOnButton(key, *event->mimeData(), event->dropAction());
}

} // namespace brevona
