#pragma once

#include <memory>

#include <QFileSystemWatcher>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include "KeyboardRenderer.h"
#include "SimKeyboardLink.h"
#include "SimulatedVolume.h"

namespace brevona {

// The live view of the simulated keyboard. File events redraw at once; a short poll catches
// what the events miss (a volume folder made again, file systems without change events), so a
// change shows within 0.2 s either way. A key clicked is pressed on the simulated keyboard while
// the mouse button is down.
class SimWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kPollMilliseconds = 100;

    SimWindow(const KeyboardData &data, const SimulatedVolume &volume, const QImage &background,
              QWidget *parent = nullptr);
    ~SimWindow() override;

    // The keyboard picture on screen now.
    const QImage &picture() const { return m_picture; }
    QSize sizeHint() const override;

public slots:
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void watchWhatExists();
    // Where the keyboard picture is drawn in the window.
    QRect pictureArea() const;
    QString keyAt(const QPoint &position) const;
    void sendKey(const QString &key, bool down);

    const KeyboardData &m_data;
    KeyboardRenderer m_renderer;
    SimulatedVolume m_volume;
    SimKeyboardLink m_link;
    QString m_heldKey;
    QFileSystemWatcher m_watcher;
    QTimer m_poll;
    QTimer m_settle;
    QImage m_picture;
};

} // namespace brevona
