#include "HTTPDownloadDelegate.h"

#include "HTTPDownloadHandler.h"

namespace brevona {

HTTPDownloadDelegate::~HTTPDownloadDelegate()
{
    HTTPDownloadHandler::delegateWillBeDestroyed(this);
}

void HTTPDownloadDelegate::takeDownloadBack(const HTTPDownloadResult &) {}

void HTTPDownloadDelegate::errorOnDownload(const DownloadError &) {}

} // namespace brevona
