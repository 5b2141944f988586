#pragma once

#include <QFileSystemWatcher>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include "KeyboardRenderer.h"
#include "SimulatedVolume.h"

namespace brevona {

// The live view of the simulated keyboard. File events redraw at once; a short poll catches
// what the events miss (a volume folder made again, file systems without change events), so a
// change shows within 0.2 s either way.
class SimWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kPollMilliseconds = 100;

    SimWindow(const KeyboardData &data, const SimulatedVolume &volume, const QImage &background,
              QWidget *parent = nullptr);

    // The keyboard picture on screen now.
    const QImage &picture() const { return m_picture; }
    QSize sizeHint() const override;

public slots:
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void watchWhatExists();

    KeyboardRenderer m_renderer;
    SimulatedVolume m_volume;
    QFileSystemWatcher m_watcher;
    QTimer m_poll;
    QTimer m_settle;
    QImage m_picture;
};

} // namespace brevona
