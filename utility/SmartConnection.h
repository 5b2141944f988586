#pragma once

#include <chrono>
#include <mutex>

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include "BrevonaUtilityExport.h"
#include "HTTPDownloadTypes.h"

class QAuthenticator;
class QNetworkAccessManager;
class QNetworkReply;

namespace brevona {

// One asynchronous HTTP download of HTTPDownloadHandler: bypasses caches, sends and keeps no
// cookies, gives up after a time-out without progress, and answers authentication challenges
// with the credentials stored for the address's host and port.
class BREVONAUTILITY_EXPORT SmartConnection : public QObject
{
    Q_OBJECT

public:
    // Starts loading at once. A task with a user name stores its credentials for the host and
    // port of its address until the process ends.
    SmartConnection(const HTTPDownloadTask &info, QNetworkAccessManager *manager,
                    std::chrono::milliseconds timeout, QObject *parent = nullptr);
    ~SmartConnection() override;

    const HTTPDownloadTask &info() const { return m_info; }
    URLResponse response() const;
    QByteArray data() const;

    // Stops the transfer; neither signal is emitted afterwards.
    void cancel();

signals:
    void didFinishLoading(brevona::SmartConnection *connection);
    void didFailWithError(brevona::SmartConnection *connection, const brevona::DownloadError &error);

private:
    void didReceiveResponse();
    void didReceiveData();
    void didFinish();
    void authenticationRequired(QNetworkReply *reply, QAuthenticator *authenticator);
    QString logName() const;

    const HTTPDownloadTask m_info;
    mutable std::mutex m_lock;
    URLResponse m_response;
    QByteArray m_data;
    QPointer<QNetworkReply> m_reply;
    bool m_credentialOffered = false;
};

} // namespace brevona
