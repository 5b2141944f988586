#include "KCButtonDropZonesView.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "CommandNames.h"
#include "DriverCommandSink.h"
#include "HybridZoneSetup.h"
#include "InterfaceLogging.h"
#include "KeyboardGeometry.h"
#include "KeyboardMimeTypes.h"
#include "KeyedArchive.h"
#include "PlistNumber.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"

namespace brevona {

namespace {

// The editor is drawn on a 96-point square; zones are 32-point squares placed bottom-up.
constexpr int kSide = 96;
constexpr int kZoneSide = 32;
const QPoint kZoneOrigins[HybridZoneSetup::ZoneCount] = {{14, 50}, {50, 50}, {14, 14}, {50, 14}};

QColor white(double alpha)
{
    return QColor::fromRgbF(1, 1, 1, float(alpha));
}

// A small landscape: the layer's own picture.
void drawLayerImageIcon(QPainter &painter, const QRectF &area)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = area.adjusted(5, 7, -5, -7);
    painter.setPen(QPen(white(0.9), 1.5));
    painter.setBrush(QColor(0x2E, 0x6F, 0xC8));
    painter.drawRoundedRect(frame, 2, 2);
    QPainterPath hills;
    hills.moveTo(frame.bottomLeft());
    hills.lineTo(frame.left() + frame.width() * 0.35, frame.top() + frame.height() * 0.45);
    hills.lineTo(frame.left() + frame.width() * 0.6, frame.bottom() - frame.height() * 0.3);
    hills.lineTo(frame.left() + frame.width() * 0.75, frame.top() + frame.height() * 0.6);
    hills.lineTo(frame.bottomRight());
    hills.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x5C, 0xC8, 0x5A));
    painter.drawPath(hills);
    painter.setBrush(QColor(0xFF, 0xD4, 0x3B));
    painter.drawEllipse(QPointF(frame.right() - frame.width() * 0.22, frame.top() + frame.height() * 0.3),
                        2.5, 2.5);
    painter.restore();
}

// A letter: the current language's character.
void drawLanguageIcon(QPainter &painter, const QRectF &area)
{
    painter.save();
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(int(area.height() * 0.6));
    painter.setFont(font);
    painter.setPen(white(0.95));
    painter.drawText(area, Qt::AlignCenter, QStringLiteral("A"));
    painter.restore();
}

void drawZoneIcon(QPainter &painter, const QString &value, const QRectF &area)
{
    if (value == PreferenceKeys::ZoneLayerImage)
        drawLayerImageIcon(painter, area);
    else if (value == PreferenceKeys::ZoneCurrentLanguage)
        drawLanguageIcon(painter, area);
}

} // namespace

KCButtonDropZonesView::KCButtonDropZonesView(PreferencesStore *preferences, DriverCommandSink *driver,
                                             QWidget *parent)
    : QWidget(parent)
    , m_preferences(preferences)
    , m_driver(driver)
{
    setAcceptDrops(true);
    setAccessibleName(tr("Hybrid key zones"));
    reload();
    if (m_preferences) {
        connect(m_preferences, &PreferencesStore::valueChanged, this, [this](const QString &key) {
            if (key == PreferenceKeys::HybridLayerZonesSetup)
                reload();
        });
    }
}

KCButtonDropZonesView::~KCButtonDropZonesView() = default;

void KCButtonDropZonesView::reload()
{
    const QVariant stored =
        m_preferences ? m_preferences->value(PreferenceKeys::HybridLayerZonesSetup) : QVariant();
    m_zones = HybridZoneSetup::effective(stored);
    if (stored.isValid() && m_zones != stored.toStringList())
        qCWarning(lcInterface,
                  "Hybrid zone setup [%s] does not name both \"Layer Image\" and \"Current "
                  "Language\"; the default zones are used",
                  qUtf8Printable(stored.toStringList().join(QStringLiteral(", "))));
    update();
}

qreal KCButtonDropZonesView::scale() const
{
    return std::min(width(), height()) / qreal(kSide);
}

QPointF KCButtonDropZonesView::origin() const
{
    const qreal side = kSide * scale();
    return QPointF((width() - side) / 2, (height() - side) / 2);
}

QRectF KCButtonDropZonesView::zoneRect(int zone) const
{
    if (zone < 0 || zone >= HybridZoneSetup::ZoneCount)
        return {};
    const QRect local =
        KeyboardGeometry::fromBottomUp(QRect(kZoneOrigins[zone], QSize(kZoneSide, kZoneSide)), kSide);
    return QRectF(origin() + QPointF(local.topLeft()) * scale(), QSizeF(local.size()) * scale());
}

int KCButtonDropZonesView::zoneAt(QPointF point) const
{
    for (int zone = 0; zone < HybridZoneSetup::ZoneCount; ++zone) {
        if (zoneRect(zone).contains(point))
            return zone;
    }
    return -1;
}

void KCButtonDropZonesView::setHighlight(int zone)
{
    if (zone == m_highlight)
        return;
    m_highlight = zone;
    update();
}

void KCButtonDropZonesView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal factor = scale();
    if (factor <= 0)
        return;
    // The key the zones divide.
    const QRectF key(origin(), QSizeF(kSide, kSide) * factor);
    painter.setPen(QPen(white(0.25), 1));
    painter.setBrush(QColor(0x1C, 0x1D, 0x20));
    painter.drawRoundedRect(key.adjusted(2, 2, -2, -2), 8 * factor, 8 * factor);
    for (int zone = 0; zone < HybridZoneSetup::ZoneCount; ++zone) {
        const QRectF area = zoneRect(zone);
        const bool highlighted = zone == m_highlight;
        const bool empty = m_zones.value(zone).isEmpty();
        painter.save();
        drawZoneIcon(painter, m_zones.value(zone), area);
        QPen outline(white(highlighted ? 0.6 : 0.2), 2 * factor);
        if (empty && !highlighted)
            outline.setStyle(Qt::DashLine);
        painter.setPen(outline);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(area, 2 * factor, 2 * factor);
        painter.restore();
    }
}

void KCButtonDropZonesView::mousePressEvent(QMouseEvent *event)
{
    m_pressedZone = event->button() == Qt::LeftButton ? zoneAt(event->position()) : -1;
    m_pressPoint = event->position();
}

void KCButtonDropZonesView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressedZone < 0 || m_zones.value(m_pressedZone).isEmpty() ||
        (event->position() - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
        return;
    const int zone = m_pressedZone;
    m_pressedZone = -1;
    const qreal ratio = devicePixelRatioF();
    const QSizeF side = zoneRect(zone).size();
    QPixmap pixmap((side * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::black);
    {
        QPainter painter(&pixmap);
        drawZoneIcon(painter, m_zones.value(zone), QRectF(QPointF(), side));
    }
    auto *drag = new QDrag(this);
    drag->setMimeData(zoneIndexData(zone).release());
    drag->setPixmap(pixmap);
    drag->setHotSpot(QPoint(int(side.width() / 2), int(side.height() / 2)));
    drag->exec(Qt::MoveAction);
}

std::unique_ptr<QMimeData> KCButtonDropZonesView::zoneIndexData(int zone)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(mimetypes::HybridZone, KeyedArchive::archive(qint64(zone)).value_or(QByteArray()));
    return data;
}

std::unique_ptr<QMimeData> KCButtonDropZonesView::zoneValueData(const QString &value)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(mimetypes::HybridZone, KeyedArchive::archive(value).value_or(QByteArray()));
    return data;
}

KCButtonDropZonesView::Payload KCButtonDropZonesView::payload(const QMimeData *data)
{
    if (!data || !data->hasFormat(mimetypes::HybridZone))
        return std::monostate();
    const Result<QVariant> value = KeyedArchive::unarchive(data->data(mimetypes::HybridZone));
    if (!value)
        return std::monostate();
    if (isPlistNumber(*value)) {
        bool whole = false;
        const qlonglong index = value->toLongLong(&whole);
        return whole && index >= -1 && index < HybridZoneSetup::ZoneCount ? Payload(int(index))
                                                                          : std::monostate();
    }
    if (value->typeId() == QMetaType::QString)
        return value->toString();
    return std::monostate();
}

std::optional<QStringList> KCButtonDropZonesView::afterDrop(const QStringList &zones, const Payload &payload,
                                                            int zone, bool fromHere)
{
    if (const int *index = std::get_if<int>(&payload)) {
        if (!fromHere || *index < 0)
            return std::nullopt;
        return HybridZoneSetup::swapped(zones, *index, zone);
    }
    if (const QString *value = std::get_if<QString>(&payload))
        return HybridZoneSetup::placed(zones, zone, *value);
    return std::nullopt;
}

bool KCButtonDropZonesView::acceptDrag(QDropEvent *event)
{
    const Payload dropped = payload(event->mimeData());
    const bool fromHere = event->source() == this;
    if (std::holds_alternative<std::monostate>(dropped) ||
        (std::holds_alternative<int>(dropped) && !fromHere)) {
        setHighlight(-1);
        event->ignore();
        return false;
    }
    setHighlight(zoneAt(event->position()));
    event->setDropAction(std::holds_alternative<int>(dropped) ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    return true;
}

void KCButtonDropZonesView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!acceptDrag(event))
        qCInfo(lcInterface, "Hybrid zones editor refuses a drag of %s: no zone of this editor, no zone value",
               qUtf8Printable(event->mimeData() ? event->mimeData()->formats().join(QStringLiteral(", "))
                                                : QString()));
}

void KCButtonDropZonesView::dragMoveEvent(QDragMoveEvent *event)
{
    acceptDrag(event);
}

void KCButtonDropZonesView::dragLeaveEvent(QDragLeaveEvent *)
{
    setHighlight(-1);
}

void KCButtonDropZonesView::dropEvent(QDropEvent *event)
{
    const bool fromHere = event->source() == this;
    if (!dropPayload(payload(event->mimeData()), zoneAt(event->position()), fromHere)) {
        event->ignore();
        return;
    }
    event->setDropAction(fromHere ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
}

bool KCButtonDropZonesView::dropPayload(const Payload &dropped, int zone, bool fromHere)
{
    setHighlight(-1);
    const auto zones = afterDrop(m_zones, dropped, zone, fromHere);
    if (!zones) {
        qCInfo(lcInterface, "Hybrid zones editor refuses the drop on zone %d: it would leave no valid setup",
               zone);
        return false;
    }
    store(*zones);
    return true;
}

void KCButtonDropZonesView::store(const QStringList &zones)
{
    m_zones = zones;
    if (m_preferences)
        m_preferences->setValue(PreferenceKeys::HybridLayerZonesSetup, zones);
    if (m_driver)
        m_driver->sendCommand(commands::HybridSetupChanged, {{commands::keys::Zones, zones}});
    update();
}

} // namespace brevona
