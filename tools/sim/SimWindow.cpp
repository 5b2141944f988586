#include "SimWindow.h"

#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>

#include "KeyboardData.h"
#include "KeyInjector.h"
#include "SimLogging.h"
#include "VolumeLayout.h"

namespace brevona {

SimWindow::SimWindow(const KeyboardData &data, const SimulatedVolume &volume, const QImage &background,
                     QWidget *parent)
    : QWidget(parent)
    , m_data(data)
    , m_renderer(data, background)
    , m_volume(volume)
    , m_link(volume.root(), data, SimKeyboardLink::sessionInjector())
{
    setWindowTitle(QStringLiteral("brevona-sim — %1").arg(m_volume.root()));
    // Several files change in one burst when the driver recomposes; one redraw follows the burst.
    m_settle.setSingleShot(true);
    m_settle.setInterval(15);
    connect(&m_settle, &QTimer::timeout, this, &SimWindow::refresh);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle, qOverload<>(&QTimer::start));
    m_poll.setInterval(kPollMilliseconds);
    connect(&m_poll, &QTimer::timeout, this, &SimWindow::refresh);
    m_poll.start();
    refresh();
}

SimWindow::~SimWindow()
{
    // A key held when the window closes goes up, on the keyboard and in the session.
    if (!m_heldKey.isEmpty())
        sendKey(m_heldKey, false);
}

QSize SimWindow::sizeHint() const
{
    return m_picture.size();
}

void SimWindow::refresh()
{
    for (const QString &problem : m_link.takeAnswers())
        qCWarning(lcSim).noquote() << "The simulated keyboard did not take a key:" << problem;
    watchWhatExists();
    QImage picture = m_renderer.render(m_volume);
    if (picture == m_picture)
        return;
    m_picture = std::move(picture);
    update();
}

void SimWindow::watchWhatExists()
{
    QStringList wanted = {m_volume.root(), m_volume.volumeFolder(),
                          m_volume.root() + QLatin1Char('/') + volumelayout::DisplaysFolder,
                          m_volume.layoutPath()};
    for (int display = 1; display <= SimulatedVolume::kDisplayCount; ++display)
        wanted.append(m_volume.displayPath(display));
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    QStringList missing;
    for (const QString &path : wanted) {
        if (!watched.contains(path) && QFileInfo::exists(path))
            missing.append(path);
    }
    if (!missing.isEmpty())
        m_watcher.addPaths(missing);
}

QRect SimWindow::pictureArea() const
{
    const QSize shown = m_picture.size().scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
}

QString SimWindow::keyAt(const QPoint &position) const
{
    const QRect area = pictureArea();
    if (m_picture.isNull() || area.isEmpty() || !area.contains(position))
        return {};
    const QPoint onPicture((position.x() - area.x()) * m_picture.width() / area.width(),
                           (position.y() - area.y()) * m_picture.height() / area.height());
    for (const KeyboardData::Key &key : m_data.keys()) {
        if (key.outline().contains(onPicture))
            return key.name;
    }
    return {};
}

void SimWindow::sendKey(const QString &key, bool down)
{
    QString error;
    if (!m_link.send(key, down, &error))
        qCWarning(lcSim).noquote() << "Cannot press" << key << "-" << error;
}

void SimWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_heldKey.isEmpty())
        return;
    m_heldKey = keyAt(event->position().toPoint());
    if (!m_heldKey.isEmpty())
        sendKey(m_heldKey, true);
}

void SimWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_heldKey.isEmpty())
        return;
    sendKey(m_heldKey, false);
    m_heldKey.clear();
}

void SimWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x30, 0x30, 0x33));
    if (m_picture.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(pictureArea(), m_picture);
}

} // namespace brevona
