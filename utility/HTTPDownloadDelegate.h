#pragma once

#include "BrevonaUtilityExport.h"
#include "HTTPDownloadTypes.h"

namespace brevona {

// Receives the outcome of downloads requested from HTTPDownloadHandler, on the handler's thread
// (the application's main thread). Both operations are optional: the defaults do nothing.
//
// Destroying a delegate cancels all of its downloads, so it is never called afterwards. A
// delegate destroyed on another thread than the main thread should call
// HTTPDownloadHandler::sharedHTTPDownloadHelper()->cancelAllDownloadsForDelegate(this) first
// in its own destructor: that returns only once a call already running into it has returned.
class BREVONAUTILITY_EXPORT HTTPDownloadDelegate
{
public:
    virtual ~HTTPDownloadDelegate();

    virtual void takeDownloadBack(const HTTPDownloadResult &result);
    virtual void errorOnDownload(const DownloadError &error);

protected:
    HTTPDownloadDelegate() = default;
    HTTPDownloadDelegate(const HTTPDownloadDelegate &) = delete;
    HTTPDownloadDelegate &operator=(const HTTPDownloadDelegate &) = delete;
};

} // namespace brevona
