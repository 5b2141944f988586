#include "MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace brevona {

bool MainThread::isCurrent()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return !application || QThread::currentThread() == application->thread();
}

bool MainThread::post(std::function<void()> call)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return false;
    return QMetaObject::invokeMethod(application, std::move(call), Qt::QueuedConnection);
}

} // namespace brevona
