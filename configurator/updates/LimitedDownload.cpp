#include "LimitedDownload.h"

#include <QHostAddress>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "UpdatesLogging.h"

namespace brevona {

LimitedDownload::LimitedDownload(QNetworkAccessManager &network, QUrl url, qint64 maxBytes, int idleTimeoutMs,
                                 QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_url(std::move(url))
    , m_maxBytes(maxBytes)
    , m_idleTimeoutMs(idleTimeoutMs)
    , m_idle(new QTimer(this))
{
    m_idle->setSingleShot(true);
    m_idle->setInterval(m_idleTimeoutMs);
    connect(m_idle, &QTimer::timeout, this, [this] {
        if (!m_reply)
            return; // the answer is complete
        fail(QStringLiteral("no answer from the server for %1 within %2 s")
                 .arg(name())
                 .arg(m_idleTimeoutMs / 1000.0));
    });
}

LimitedDownload::~LimitedDownload()
{
    cancel();
}

QString LimitedDownload::name() const
{
    const QString file = m_url.fileName();
    return file.isEmpty() ? m_url.toDisplayString(QUrl::RemoveQuery) : file;
}

QString LimitedDownload::refusalForPackage(const QUrl &url, bool allowLoopbackHttp)
{
    if (url.scheme() == QLatin1String("https"))
        return {};
    if (url.scheme() == QLatin1String("http") && allowLoopbackHttp) {
        const QHostAddress host(url.host());
        if (url.host() == QLatin1String("localhost") || (!host.isNull() && host.isLoopback()))
            return {};
    }
    return QStringLiteral("packages are fetched over HTTPS only, not from %1")
        .arg(url.toDisplayString(QUrl::RemoveQuery | QUrl::RemoveUserInfo));
}

void LimitedDownload::start()
{
    cancel();
    m_data.clear();
    m_received = 0;
    m_error.clear();
    m_contentType.clear();
    m_finalUrl = m_url;

    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &LimitedDownload::checkHeaders);
    connect(m_reply, &QNetworkReply::readyRead, this, &LimitedDownload::readAvailable);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        m_idle->start();
        Q_EMIT progress(received, total);
    });
    connect(m_reply, &QNetworkReply::finished, this, &LimitedDownload::replyFinished);
    m_idle->start();
}

void LimitedDownload::cancel()
{
    m_idle->stop();
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void LimitedDownload::checkHeaders()
{
    if (!m_reply)
        return;
    m_idle->start();
    m_contentType = m_reply->header(QNetworkRequest::ContentTypeHeader).toString();
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maxBytes)
        fail(QStringLiteral("the answer for %1 is larger than %2 bytes").arg(name()).arg(m_maxBytes));
}

void LimitedDownload::readAvailable()
{
    if (!m_reply)
        return;
    m_idle->start();
    const QByteArray chunk = m_reply->readAll();
    m_received += chunk.size();
    if (m_received > m_maxBytes) {
        fail(QStringLiteral("the answer for %1 is larger than %2 bytes").arg(name()).arg(m_maxBytes));
        return;
    }
    if (!m_sink) {
        m_data.append(chunk);
        return;
    }
    if (m_sink->write(chunk) != chunk.size())
        fail(QStringLiteral("the download of %1 cannot be written: %2").arg(name(), m_sink->errorString()));
}

void LimitedDownload::replyFinished()
{
    if (!m_reply)
        return;
    readAvailable();
    if (!m_reply)
        return; // refused while reading the rest
    m_idle->stop();
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    m_finalUrl = reply->url();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) {
        const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        m_error =
            QStringLiteral("the server answered %1 %2 for %3").arg(status).arg(reason, name()).simplified();
        Q_EMIT finished(false);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        m_error = QStringLiteral("%1: %2").arg(name(), reply->errorString());
        Q_EMIT finished(false);
        return;
    }
    Q_EMIT finished(true);
}

void LimitedDownload::fail(const QString &error)
{
    cancel();
    m_data.clear();
    m_error = error;
    Q_EMIT finished(false);
}

} // namespace brevona
