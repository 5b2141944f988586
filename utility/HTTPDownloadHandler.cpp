#include "HTTPDownloadHandler.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QThread>

#include "DelegateCallGate.h"
#include "HTTPDownloadDelegate.h"
#include "SmartConnection.h"
#include "UtilityLogging.h"

namespace brevona {

namespace {

std::mutex g_instanceMutex;
std::atomic<HTTPDownloadHandler *> g_instance{nullptr};

} // namespace

HTTPDownloadHandler *HTTPDownloadHandler::sharedHTTPDownloadHelper()
{
    std::lock_guard lock(g_instanceMutex);
    if (HTTPDownloadHandler *existing = g_instance.load())
        return existing;

    auto *handler = new HTTPDownloadHandler;
    if (QCoreApplication *application = QCoreApplication::instance()) {
        // Network objects belong to one thread; the application's thread has the event loop
        // every program here runs.
        handler->moveToThread(application->thread());
        qAddPostRoutine(&HTTPDownloadHandler::destroySharedHandler);
    }
    g_instance.store(handler);
    return handler;
}

void HTTPDownloadHandler::destroySharedHandler()
{
    HTTPDownloadHandler *handler = nullptr;
    {
        std::lock_guard lock(g_instanceMutex);
        handler = g_instance.exchange(nullptr);
    }
    delete handler;
}

void HTTPDownloadHandler::delegateWillBeDestroyed(HTTPDownloadDelegate *delegate)
{
    if (HTTPDownloadHandler *handler = g_instance.load())
        handler->cancelAllDownloadsForDelegate(delegate);
}

HTTPDownloadHandler::HTTPDownloadHandler()
    : m_gate(std::make_unique<DelegateCallGate>())
{
    m_tasksQueue.reserve(10);
    m_connectionsInProgress.reserve(3);
}

HTTPDownloadHandler::~HTTPDownloadHandler()
{
    // Connections go before the network manager that owns their replies.
    for (SmartConnection *connection : findChildren<SmartConnection *>(Qt::FindDirectChildrenOnly)) {
        connection->cancel();
        delete connection;
    }
    delete m_manager;
}

void HTTPDownloadHandler::downloadURL(const QUrl &url, const QString &username, const QString &password,
                                      HTTPDownloadDelegate *delegate, const QVariant &token)
{
    if (!url.isValid() || url.isEmpty() || delegate == nullptr)
        return;
    {
        std::lock_guard lock(m_queueLock);
        m_tasksQueue.append({url, username, password, delegate, token});
    }
    processTasksQueue();
}

void HTTPDownloadHandler::downloadURL(const QUrl &url, HTTPDownloadDelegate *delegate, const QVariant &token)
{
    downloadURL(url, QString(), QString(), delegate, token);
}

void HTTPDownloadHandler::cancelAllDownloadsForDelegate(HTTPDownloadDelegate *delegate)
{
    QList<SmartConnection *> cancelled;
    m_gate->cancel(delegate, [&] {
        std::lock_guard handlerLock(m_handlerLock);
        std::lock_guard queueLock(m_queueLock);
        for (auto it = m_connectionsInProgress.begin(); it != m_connectionsInProgress.end();) {
            if ((*it)->info().delegate == delegate) {
                qCInfo(lcUtility, "connection cancelled");
                cancelled.append(*it);
                it = m_connectionsInProgress.erase(it);
            } else {
                ++it;
            }
        }
        const qsizetype removed = m_tasksQueue.removeIf(
            [delegate](const HTTPDownloadTask &task) { return task.delegate == delegate; });
        for (qsizetype i = 0; i < removed; ++i)
            qCInfo(lcUtility, "task cancelled");
    });

    for (SmartConnection *connection : cancelled) {
        if (QThread::currentThread() == thread()) {
            discardConnection(connection);
        } else {
            QMetaObject::invokeMethod(
                connection, [this, connection] { discardConnection(connection); }, Qt::QueuedConnection);
        }
    }
    // Each freed slot goes to a waiting download, whoever it belongs to.
    for (qsizetype i = 0; i < cancelled.size(); ++i)
        processTasksQueue();
}

int HTTPDownloadHandler::simultaneousDownloads() const
{
    return m_simultaneousDownloads.load();
}

void HTTPDownloadHandler::setSimultaneousDownloads(int count)
{
    m_simultaneousDownloads.store(std::max(count, 0));
    processTasksQueue();
}

std::chrono::milliseconds HTTPDownloadHandler::timeoutInterval() const
{
    return std::chrono::milliseconds(m_timeoutMilliseconds.load());
}

void HTTPDownloadHandler::setTimeoutInterval(std::chrono::milliseconds timeout)
{
    m_timeoutMilliseconds.store(std::max<long long>(timeout.count(), 0));
}

void HTTPDownloadHandler::processTasksQueue()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &HTTPDownloadHandler::processTasksQueue, Qt::QueuedConnection);
        return;
    }

    // Taking the task and registering its connection happen under the handler lock, so a
    // cancellation finds the download in one list or the other.
    std::lock_guard handlerLock(m_handlerLock);
    HTTPDownloadTask task;
    {
        std::lock_guard queueLock(m_queueLock);
        if (m_tasksQueue.isEmpty())
            return;
        if (m_connectionsInProgress.size() >= m_simultaneousDownloads.load()) {
            qCDebug(lcUtility, "is full, can't add");
            return;
        }
        task = m_tasksQueue.takeFirst();
    }
    auto *connection = new SmartConnection(task, manager(), timeoutInterval(), this);
    connect(connection, &SmartConnection::didFinishLoading, this,
            &HTTPDownloadHandler::connectionDidFinishLoading);
    connect(connection, &SmartConnection::didFailWithError, this, &HTTPDownloadHandler::connectionDidFail);
    m_connectionsInProgress.append(connection);
}

qsizetype HTTPDownloadHandler::queuedTaskCount() const
{
    std::lock_guard lock(m_queueLock);
    return m_tasksQueue.size();
}

qsizetype HTTPDownloadHandler::connectionCount() const
{
    std::lock_guard lock(m_handlerLock);
    return m_connectionsInProgress.size();
}

void HTTPDownloadHandler::connectionDidFinishLoading(SmartConnection *connection)
{
    const HTTPDownloadResult result{connection->data(), connection->response(), connection->info().token};
    HTTPDownloadDelegate *delegate = connection->info().delegate;
    // A connection cancelled meanwhile belongs to the cancellation, which discards it.
    if (!m_gate->deliver(
            delegate, [&] { return claimConnection(connection); },
            [&] { delegate->takeDownloadBack(result); }))
        return;
    connection->deleteLater();
    processTasksQueue();
}

void HTTPDownloadHandler::connectionDidFail(SmartConnection *connection, const DownloadError &error)
{
    HTTPDownloadDelegate *delegate = connection->info().delegate;
    if (!m_gate->deliver(
            delegate, [&] { return claimConnection(connection); }, [&] { delegate->errorOnDownload(error); }))
        return;
    connection->deleteLater();
    processTasksQueue();
}

bool HTTPDownloadHandler::claimConnection(SmartConnection *connection)
{
    std::lock_guard lock(m_handlerLock);
    return m_connectionsInProgress.removeOne(connection);
}

void HTTPDownloadHandler::discardConnection(SmartConnection *connection)
{
    connection->cancel();
    connection->deleteLater();
}

QNetworkAccessManager *HTTPDownloadHandler::manager()
{
    if (m_manager == nullptr) {
        m_manager = new QNetworkAccessManager;
        m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    }
    return m_manager;
}

} // namespace brevona
