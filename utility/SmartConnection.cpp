#include "SmartConnection.h"

#include <optional>

#include <QAuthenticator>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "UtilityLogging.h"

namespace brevona {

namespace {

struct Credential
{
    QString user;
    QString password;
};

// Credentials given with a download, kept for the rest of the process per host and port.
class CredentialStorage
{
public:
    static CredentialStorage &shared()
    {
        static CredentialStorage storage;
        return storage;
    }

    void store(const QUrl &url, const Credential &credential)
    {
        std::lock_guard lock(m_mutex);
        m_credentials.insert(key(url), credential);
    }

    std::optional<Credential> find(const QUrl &url) const
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_credentials.constFind(key(url));
        if (it == m_credentials.constEnd())
            return std::nullopt;
        return *it;
    }

private:
    static QString key(const QUrl &url)
    {
        const QString scheme = url.scheme().toLower();
        const int port = url.port(scheme == QLatin1String("https") ? 443 : 80);
        return url.host().toLower() + QLatin1Char(':') + QString::number(port);
    }

    mutable std::mutex m_mutex;
    QHash<QString, Credential> m_credentials;
};

// HTTP statuses Qt reports as errors although the server answered: such a download finished
// loading, and the delegate reads the status from the response.
bool isServerAnswer(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

} // namespace

SmartConnection::SmartConnection(const HTTPDownloadTask &info, QNetworkAccessManager *manager,
                                 std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent)
    , m_info(info)
{
    QNetworkRequest request(m_info.url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(static_cast<int>(timeout.count()));

    // Downloads without a user name must not replace credentials another download stored
    // for the same server.
    if (!m_info.username.isEmpty())
        CredentialStorage::shared().store(m_info.url, {m_info.username, m_info.password});

    m_reply = manager->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &SmartConnection::didReceiveResponse);
    connect(m_reply, &QNetworkReply::readyRead, this, &SmartConnection::didReceiveData);
    connect(m_reply, &QNetworkReply::finished, this, &SmartConnection::didFinish);
    connect(manager, &QNetworkAccessManager::authenticationRequired, this,
            &SmartConnection::authenticationRequired);
}

SmartConnection::~SmartConnection()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

URLResponse SmartConnection::response() const
{
    std::lock_guard lock(m_lock);
    return m_response;
}

QByteArray SmartConnection::data() const
{
    std::lock_guard lock(m_lock);
    return m_data;
}

void SmartConnection::cancel()
{
    qCInfo(lcUtility, "connection %s has cancelled", qPrintable(logName()));
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void SmartConnection::didReceiveResponse()
{
    qCDebug(lcUtility, "connection %s did receive response", qPrintable(logName()));
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    std::lock_guard lock(m_lock);
    m_response.url = m_reply->url();
    m_response.statusCode = status.isValid() ? status.toInt() : 0;
    m_response.headers = m_reply->rawHeaderPairs();
    // A redirect or a repeated request after a challenge starts the body again.
    m_data.clear();
}

void SmartConnection::didReceiveData()
{
    if (!m_reply->isOpen())
        return;
    const QByteArray chunk = m_reply->readAll();
    std::lock_guard lock(m_lock);
    m_data.append(chunk);
}

void SmartConnection::didFinish()
{
    didReceiveData();
    const QNetworkReply::NetworkError error = m_reply->error();
    const bool answered = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (error == QNetworkReply::NoError || (answered && isServerAnswer(error))) {
        qCDebug(lcUtility, "connection %s did finish loading", qPrintable(logName()));
        emit didFinishLoading(this);
        return;
    }
    DownloadError failure{static_cast<int>(error), m_reply->errorString(), m_info.url, m_info.token};
    // The transfer time-out is the only way a reply still connected to us gets cancelled.
    if (error == QNetworkReply::OperationCanceledError) {
        failure.code = QNetworkReply::TimeoutError;
        failure.message = QStringLiteral("The request timed out");
    }
    qCWarning(lcUtility, "connection %s did fail with error: %s", qPrintable(logName()),
              qPrintable(failure.message));
    emit didFailWithError(this, failure);
}

void SmartConnection::authenticationRequired(QNetworkReply *reply, QAuthenticator *authenticator)
{
    // Offered once: credentials the server refused are not sent again, so the download ends
    // with the server's refusal instead of asking forever.
    if (reply != m_reply || m_credentialOffered)
        return;
    m_credentialOffered = true;
    if (const std::optional<Credential> credential = CredentialStorage::shared().find(reply->url())) {
        authenticator->setUser(credential->user);
        authenticator->setPassword(credential->password);
    }
}

QString SmartConnection::logName() const
{
    return QString::asprintf("%08x", static_cast<unsigned>(reinterpret_cast<quintptr>(this) & 0xFFFFFFFFu));
}

} // namespace brevona
