#pragma once

#include <QObject>

class QSocketNotifier;

namespace brevona {

// Turns SIGTERM and SIGINT into a Qt signal on the main thread (self-pipe), so that shutdown runs
// its normal course instead of inside a signal handler.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace brevona
