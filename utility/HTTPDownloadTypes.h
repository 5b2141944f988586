#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QVariant>

// The structures a plugin's download delegate receives. They are part of the plugins' interface and
// stay as they are: a download ends in exactly one of the two delegate calls, takeDownloadBack with
// an HTTPDownloadResult or errorOnDownload with a DownloadError, which is this library's form of a
// value-or-error result.
namespace brevona {

class HTTPDownloadDelegate;

// One requested download: what to fetch, with which credentials, for whom.
struct HTTPDownloadTask
{
    QUrl url;
    QString username;
    QString password;
    HTTPDownloadDelegate *delegate = nullptr;
    // Anything the delegate wants back with the result, to tell its downloads apart.
    QVariant token;
};

// The last response a connection received.
struct URLResponse
{
    // After redirects, the address the response came from.
    QUrl url;
    // The HTTP status; 0 for schemes without one.
    int statusCode = 0;
    QList<QPair<QByteArray, QByteArray>> headers;
};

// What a delegate receives for a download that finished loading. An HTTP error status (404,
// 500, 401 without usable credentials) is a finished download: the status is in the response.
struct HTTPDownloadResult
{
    QByteArray data;
    URLResponse response;
    QVariant token;
};

// What a delegate receives for a download that failed: no connection, time-out, a transfer
// broken off, a malformed response.
struct DownloadError
{
    // QNetworkReply::NetworkError.
    int code = 0;
    QString message;
    QUrl url;
    QVariant token;
};

} // namespace brevona
