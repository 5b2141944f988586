#pragma once

#include <memory>
#include <variant>

#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QStringList>
#include <QWidget>

class QMimeData;

namespace brevona {

class DriverCommandSink;
class PreferencesStore;

// The hybrid zones editor: four squares for the four quarters of a hybrid key. Dragging an icon
// onto another square exchanges the two; a zone value dragged in from elsewhere takes the square
// it is dropped on. Each change is stored as "HybridLayerZonesSetup" and sent to the driver as
// "HybridSetupChanged", so the keyboard follows at once.
class KCButtonDropZonesView : public QWidget
{
    Q_OBJECT
public:
    // The editor's own drag: the index of the dragged zone. A drag from elsewhere: a zone value.
    using Payload = std::variant<std::monostate, int, QString>;

    // Both may be null: nothing is stored or sent.
    KCButtonDropZonesView(PreferencesStore *preferences, DriverCommandSink *driver,
                          QWidget *parent = nullptr);
    ~KCButtonDropZonesView() override;

    const QStringList &zones() const { return m_zones; }
    int highlightZone() const { return m_highlight; }
    // The zone under a point of the view; -1 for none.
    int zoneAt(QPointF point) const;
    QRectF zoneRect(int zone) const;

    // What a drag carries ("application/x-brevona-hybrid-zone", a keyed archive).
    static std::unique_ptr<QMimeData> zoneIndexData(int zone);
    static std::unique_ptr<QMimeData> zoneValueData(const QString &value);
    static Payload payload(const QMimeData *data);
    // The setup a drop leaves on `zone`; nothing when the drop is refused. An index only counts
    // when the drag came from this editor (`fromHere`).
    static std::optional<QStringList> afterDrop(const QStringList &zones, const Payload &payload, int zone,
                                                bool fromHere);
    // Carries out a drop on `zone`: the new setup is stored and sent. False when refused.
    bool dropPayload(const Payload &payload, int zone, bool fromHere);

    QSize sizeHint() const override { return {96, 96}; }
    QSize minimumSizeHint() const override { return {48, 48}; }

public Q_SLOTS:
    // Reads the stored setup again (after the preferences changed elsewhere).
    void reload();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    qreal scale() const;
    QPointF origin() const;
    void setHighlight(int zone);
    bool acceptDrag(QDropEvent *event);
    void store(const QStringList &zones);

    QPointer<PreferencesStore> m_preferences;
    DriverCommandSink *m_driver;
    QStringList m_zones;
    int m_highlight = -1;
    int m_pressedZone = -1;
    QPointF m_pressPoint;
};

} // namespace brevona
