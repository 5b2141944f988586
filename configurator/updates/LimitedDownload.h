#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace brevona {

// One request to the update server with what its answer may cost: nothing cached, at most
// `maxBytes` (refused while reading, not after), and an end when the server says nothing for
// `idleTimeoutMs`. Each download keeps its own buffer, so requests running side by side never
// mix their answers. The answer goes to memory, or to a device the caller gives.
class LimitedDownload : public QObject
{
    Q_OBJECT
public:
    LimitedDownload(QNetworkAccessManager &network, QUrl url, qint64 maxBytes, int idleTimeoutMs,
                    QObject *parent = nullptr);
    ~LimitedDownload() override;

    // The answer is written there instead of kept in memory (the caller owns the device).
    void setSink(QIODevice *sink) { m_sink = sink; }
    void start();
    // Ends the request without a finished() signal.
    void cancel();

    const QUrl &url() const { return m_url; }
    const QByteArray &data() const { return m_data; }
    qint64 receivedBytes() const { return m_received; }
    // The answer's Content-Type header and the address that finally answered (after redirects).
    const QString &contentType() const { return m_contentType; }
    const QUrl &finalUrl() const { return m_finalUrl; }
    // One line: why the download failed.
    const QString &errorString() const { return m_error; }

    // Whether an address may carry a package: https, or http to this computer when
    // `allowLoopbackHttp` (the tests' server). The reason when not.
    static QString refusalForPackage(const QUrl &url, bool allowLoopbackHttp);

Q_SIGNALS:
    void progress(qint64 received, qint64 total);
    // Once per start(), unless cancelled. On failure errorString() says why.
    void finished(bool ok);

private:
    void readAvailable();
    void checkHeaders();
    void replyFinished();
    void fail(const QString &error);
    QString name() const;

    QNetworkAccessManager &m_network;
    const QUrl m_url;
    const qint64 m_maxBytes;
    const int m_idleTimeoutMs;
    QIODevice *m_sink = nullptr;
    QPointer<QNetworkReply> m_reply;
    QTimer *m_idle = nullptr;
    QByteArray m_data;
    qint64 m_received = 0;
    QString m_contentType;
    QUrl m_finalUrl;
    QString m_error;
};

} // namespace brevona
