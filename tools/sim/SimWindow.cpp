#include "SimWindow.h"

#include <QFileInfo>
#include <QPainter>

namespace brevona {

SimWindow::SimWindow(const KeyboardData &data, const SimulatedVolume &volume, const QImage &background,
                     QWidget *parent)
    : QWidget(parent)
    , m_renderer(data, background)
    , m_volume(volume)
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

QSize SimWindow::sizeHint() const
{
    return m_picture.size();
}

void SimWindow::refresh()
{
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
                          m_volume.volumeFolder() + QStringLiteral("/dynamic"), m_volume.layoutPath()};
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

void SimWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x30, 0x30, 0x33));
    if (m_picture.isNull())
        return;
    const QSize shown = m_picture.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_picture);
}

} // namespace brevona
