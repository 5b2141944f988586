#pragma once

#include <memory>
#include <optional>

#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "KCKeyboardPreview.h"
#include "KeyboardGeometry.h"
#include "SelectionPulse.h"

class QMimeData;

namespace brevona {

class DeferredPictureQueue;
class KCKeyboardViewDelegate;
class KCLayer;
class KeyboardCanvas;
class KeySelection;
class PreferencesStore;

// The configurator's picture of the keyboard: the background chosen by
// "KeyboardBackgroundColorType", every key's picture (or its placeholder) from the drawing cache,
// the selection with its pulse, the rubber band, and the entry points of the clipboard and of drag
// and drop, which the delegate carries out. It keeps the keyboard's proportions at any size and
// draws at the screen's own resolution. Each key is an accessible child named by its key name.
class KCKeyboardView : public QWidget, public KCKeyboardPreview
{
    Q_OBJECT
public:
    // The installed keyboard with the configurator's preferences.
    explicit KCKeyboardView(QWidget *parent = nullptr);
    // A given geometry and background; `preferences` may be null (colour type 0, default colour).
    KCKeyboardView(KeyboardGeometry geometry, PreferencesStore *preferences, QWidget *parent = nullptr);
    ~KCKeyboardView() override;

    void setDelegate(KCKeyboardViewDelegate *delegate) { m_delegate = delegate; }
    const KeyboardGeometry &geometry() const { return m_geometry; }

    // Pictures. Unknown key names are ignored.
    void setImage(const QImage &picture, const QString &key);
    // Queues a picture for the deferred batch; a null picture takes the key out of the queue.
    void setDynamicImage(const QImage &picture, const QString &key);
    void clearDynamicQueueForButton(const QString &key);
    void clearDynamicQueue();
    // Draws what the deferred queue holds now.
    void checkDynamicDrawQueue();
    QImage imageForButton(const QString &key) const;
    // Back to placeholders: the named keys, or every key.
    void removeButtonImages(const std::optional<QStringList> &keys = std::nullopt);
    // Every key of a layer at once: its pictures where it has keys, placeholders elsewhere.
    void showLayer(KCLayer &layer);
    void setColorType(int colorType);
    int colorType() const { return m_colorType; }

    // Selection.
    void selectButtonNamed(const QString &key, bool extend) override;
    void toggleButtonNamed(const QString &key);
    void selectAll();
    void deselectAll();
    QStringList selectedButtons() const override;
    int numberOfSelectedButtons() const;
    // The key nearest the keyboard's centre that has no picture; empty for none.
    QString emptyButtonNearestToCenter() const override;
    void moveCursor(int dx, int dy, bool extend);

    // Editing commands, as the Edit menu sends them.
    void cut();
    void copy();
    void paste();
    void deleteSelectedButtons();

    // Permissions and the overlay message.
    void setCanChangeSelection(bool can);
    bool canChangeSelection() const { return m_canChangeSelection; }
    void setCanChangeButtons(bool can);
    bool canChangeButtons() const;
    void setAllowsDragAndDrop(bool allows) { m_allowsDragAndDrop = allows; }
    bool allowsDragAndDrop() const { return m_allowsDragAndDrop; }
    void setMessage(const QString &text, const QString &description = QString(),
                    const QImage &icon = QImage());

    // Image pixels per view point; 0 while the view has no area.
    qreal scaleFactor() const;
    QSize keyboardImageSize() const { return m_geometry.imageSize(); }
    // Where a key (its outside rectangle) lies in the view; empty for an unknown key or no area.
    QRectF viewRectOfButton(const QString &key) const;
    // The centre of a key's picture area on the screen.
    QPoint screenPointOfButton(const QString &key) const;
    QRectF viewRectForImageRect(const QRectF &imageRect) const;
    QPointF imagePointForViewPoint(QPointF viewPoint) const;
    // The key under a view point; empty for none.
    QString buttonAt(QPointF viewPoint) const;

    // State the tests and the accessibility tree read.
    bool isPulsing() const { return m_pulseTimer.isActive(); }
    const SelectionPulse &pulse() const { return m_pulse; }
    QString dropHighlight() const { return m_dropHighlight; }
    QColor selectionColor() const;
    // Pixels of the drawing cache per image pixel for a device of `devicePixelRatio`.
    int cacheResolution(qreal devicePixelRatio) const;
    // The drag image of a key dragged out of the view, at the current scale.
    QPixmap dragPixmapForButton(const QString &key) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

Q_SIGNALS:
    // The selection changed; announced once per pass of the event loop.
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void loadBackground();
    const QImage &screenBackground(qreal devicePixelRatio);
    QPointF offset() const;
    void updateKey(int key);
    void updateImageRect(const QRect &imageRect);
    void selectionWillChange();
    void selectionDidChange();
    void announceSelection();
    void checkPulse();
    void pulseTick();
    void finishMouseEvent();
    void startDragOut(const QString &key);
    bool acceptsDrop(const QMimeData *data) const;
    void paintShadow(QPainter &painter, const QRect &outside);
    void paintOverlay(QPainter &painter);
    void paintMessage(QPainter &painter);
    void readPreferences(const QString &key);

    KeyboardGeometry m_geometry;
    QPointer<PreferencesStore> m_preferences;
    KCKeyboardViewDelegate *m_delegate = nullptr;
    std::unique_ptr<KeyboardCanvas> m_canvas;
    std::unique_ptr<KeySelection> m_selection;
    std::unique_ptr<DeferredPictureQueue> m_deferred;
    QStringList m_previousSelection;
    bool m_selectionAnnouncePending = false;

    int m_colorType = -1;
    QImage m_background;
    QImage m_screenBackground;

    SelectionPulse m_pulse;
    QTimer m_pulseTimer;

    bool m_canChangeSelection = true;
    bool m_allowsDragAndDrop = true;
    bool m_inMouseEvent = false;
    QString m_draggedButton;
    QString m_dragOutButton;
    QRectF m_band;
    QPointF m_bandStart;
    QString m_lastDeletedButton;
    QString m_dropHighlight;

    QString m_messageText;
    QString m_messageDescription;
    QImage m_messageIcon;
};

} // namespace brevona
