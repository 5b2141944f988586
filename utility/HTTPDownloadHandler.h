#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include <QList>
#include <QObject>

#include "BrevonaUtilityExport.h"
#include "HTTPDownloadTypes.h"

class QNetworkAccessManager;

namespace brevona {

class DelegateCallGate;
class HTTPDownloadDelegate;
class SmartConnection;

// The process-wide queue of asynchronous HTTP downloads for plugins: requests wait in order of
// arrival until one of a limited number of connections is free. Downloads may be requested and
// cancelled from any thread; they run, and their delegates are called, on the thread of the
// application object (the main thread).
class BREVONAUTILITY_EXPORT HTTPDownloadHandler : public QObject
{
    Q_OBJECT

public:
    // Created on first use; lives until the application object is destroyed.
    static HTTPDownloadHandler *sharedHTTPDownloadHelper();

    // Ignored without a valid address or a delegate.
    void downloadURL(const QUrl &url, const QString &username, const QString &password,
                     HTTPDownloadDelegate *delegate, const QVariant &token);
    void downloadURL(const QUrl &url, HTTPDownloadDelegate *delegate, const QVariant &token);

    // Drops every running and waiting download of the delegate; it is not called for any of
    // them. When this returns on another thread, a call already running into the delegate on
    // the main thread has returned.
    void cancelAllDownloadsForDelegate(HTTPDownloadDelegate *delegate);

    // The limit of simultaneous downloads, 3 by default. Setting it starts one waiting
    // download when a slot is free.
    int simultaneousDownloads() const;
    void setSimultaneousDownloads(int count);

    // A connection without progress for this long fails; 10 s by default.
    std::chrono::milliseconds timeoutInterval() const;
    void setTimeoutInterval(std::chrono::milliseconds timeout);

    // Starts the oldest waiting download if a slot is free; at most one per call.
    void processTasksQueue();

    qsizetype queuedTaskCount() const;
    qsizetype connectionCount() const;

private:
    friend class HTTPDownloadDelegate;

    HTTPDownloadHandler();
    ~HTTPDownloadHandler() override;
    HTTPDownloadHandler(const HTTPDownloadHandler &) = delete;
    HTTPDownloadHandler &operator=(const HTTPDownloadHandler &) = delete;

    static void delegateWillBeDestroyed(HTTPDownloadDelegate *delegate);
    static void destroySharedHandler();

    void connectionDidFinishLoading(SmartConnection *connection);
    void connectionDidFail(SmartConnection *connection, const DownloadError &error);
    bool claimConnection(SmartConnection *connection);
    void discardConnection(SmartConnection *connection);
    QNetworkAccessManager *manager();

    // Lock order: handler lock before queue lock.
    mutable std::mutex m_queueLock;
    QList<HTTPDownloadTask> m_tasksQueue;
    mutable std::mutex m_handlerLock;
    QList<SmartConnection *> m_connectionsInProgress;
    std::atomic<int> m_simultaneousDownloads{3};
    std::atomic<long long> m_timeoutMilliseconds{10000};
    std::unique_ptr<DelegateCallGate> m_gate;
    QNetworkAccessManager *m_manager = nullptr;
};

} // namespace brevona
