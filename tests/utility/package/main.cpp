#include <cstdio>

#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <Base64.h>
#include <HTTPDownloadDelegate.h>
#include <HTTPDownloadHandler.h>
#include <KCEncryptor.h>
#include <KDNetLoadDelegate.h>
#include <KDNetLoadOperation.h>
#include <SerialOperationQueue.h>
#include <SmartConnection.h>

namespace {

class Delegate : public brevona::KDNetLoadDelegate
{
public:
    ~Delegate() override { brevona::KDNetLoadOperation::cancelAllDownloadsForDelegate(this); }
    void netLoaderOperationFinished(brevona::KDNetLoadOperation &operation) override
    {
        bytes = operation.receivedData().value_or(QByteArray()).size();
    }
    qsizetype bytes = -1;
};

} // namespace

int main(int, char **argv)
{
    using namespace brevona;
    const QString secret = QStringLiteral("outside");
    if (KCEncryptor::decryptString(KCEncryptor::encryptString(secret)) != secret) {
        std::puts("scrambler round trip failed");
        return 1;
    }
    if (Base64::decode(Base64::encode(secret)) != secret) {
        std::puts("Base64 round trip failed");
        return 1;
    }

    // A local file stands in for a server: this program itself.
    Delegate delegate;
    const QUrl self = QUrl::fromLocalFile(QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath());
    KDNetLoadOperation::getAddress(self.toString(), {}, {}, &delegate);
    KDNetLoadOperation::sharedDownloadQueue().waitUntilAllOperationsAreFinished();
    if (delegate.bytes != QFileInfo(self.toLocalFile()).size()) {
        std::puts("download through the installed library failed");
        return 1;
    }
    if (HTTPDownloadHandler::sharedHTTPDownloadHelper()->simultaneousDownloads() != 3) {
        std::puts("download handler unavailable");
        return 1;
    }
    std::puts("consumer ok");
    return 0;
}
