#include "KDNetLoadOperation.h"

#include <algorithm>
#include <limits>
#include <new>

#include <curl/curl.h>

#include "DelegateCallGate.h"
#include "KDNetLoadDelegate.h"
#include "SerialOperationQueue.h"
#include "UtilityLogging.h"

namespace brevona {

namespace {

// The shared queue, kept reachable only while it exists: delegates destroyed at exit, after the
// queue, must not bring it back.
std::atomic<SerialOperationQueue *> g_sharedQueue{nullptr};

struct SharedQueue
{
    SharedQueue()
    {
        // Before the first transfer and before any other thread could start one.
        curl_global_init(CURL_GLOBAL_DEFAULT);
        g_sharedQueue.store(&queue);
    }
    ~SharedQueue() { g_sharedQueue.store(nullptr); }
    // Declared before the queue so that libcurl is cleaned up after the queue's thread ended.
    struct CurlCleanup
    {
        ~CurlCleanup() { curl_global_cleanup(); }
    } cleanup;
    SerialOperationQueue queue;
};

std::mutex g_limitsLock;
KDNetLoadOperation::TimeLimits g_limits;

// Never destroyed: delegates may be destroyed during exit, after every other static object.
DelegateCallGate &gate()
{
    static auto *const instance = new DelegateCallGate;
    return *instance;
}

// Appends every chunk libcurl hands over to the buffer. A chunk that cannot be stored ends the
// transfer with a write error instead of an exception through libcurl.
size_t write_data(char *chunk, size_t size, size_t count, void *userData)
{
    auto *buffer = static_cast<QByteArray *>(userData);
    size_t length = 0;
    if (__builtin_mul_overflow(size, count, &length) ||
        length > static_cast<size_t>(std::numeric_limits<qsizetype>::max() - buffer->size()))
        return 0;
    try {
        buffer->append(chunk, static_cast<qsizetype>(length));
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return length;
}

// Called by libcurl at least once a second during the transfer: a non-zero answer breaks it off.
int abortWhenCancelled(void *operation, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<KDNetLoadOperation *>(operation)->isCancelled() ? 1 : 0;
}

} // namespace

KDNetLoadOperation::KDNetLoadOperation(const QString &address, const QString &userName,
                                       const QString &userPassword, KDNetLoadDelegate *delegate)
    : m_delegate(delegate)
    , m_urlAddress(address)
    , m_urlUser(userName)
    , m_urlPassword(userPassword)
{}

KDNetLoadOperation::KDNetLoadOperation(const QString &address, KDNetLoadDelegate *delegate)
    : KDNetLoadOperation(address, QString(), QString(), delegate)
{}

KDNetLoadOperation::~KDNetLoadOperation() = default;

std::shared_ptr<KDNetLoadOperation> KDNetLoadOperation::getAddress(const QString &address,
                                                                   const QString &userName,
                                                                   const QString &userPassword,
                                                                   KDNetLoadDelegate *delegate)
{
    auto operation = std::make_shared<KDNetLoadOperation>(address, userName, userPassword, delegate);
    sharedDownloadQueue().addOperation(operation);
    return operation;
}

void KDNetLoadOperation::cancelAllDownloadsForDelegate(KDNetLoadDelegate *delegate)
{
    SerialOperationQueue *queue = g_sharedQueue.load();
    if (queue == nullptr || delegate == nullptr)
        return;
    gate().cancel(delegate, [&] {
        for (const std::shared_ptr<KDNetLoadOperation> &operation : queue->operations()) {
            if (operation->delegate() == delegate)
                operation->cancel();
        }
    });
}

SerialOperationQueue &KDNetLoadOperation::sharedDownloadQueue()
{
    static SharedQueue shared;
    return shared.queue;
}

KDNetLoadOperation::TimeLimits KDNetLoadOperation::timeLimits()
{
    std::lock_guard lock(g_limitsLock);
    return g_limits;
}

void KDNetLoadOperation::setTimeLimits(TimeLimits limits)
{
    limits.connect = std::max(limits.connect, std::chrono::seconds(1));
    limits.silence = std::max(limits.silence, std::chrono::seconds(1));
    std::lock_guard lock(g_limitsLock);
    g_limits = limits;
}

std::optional<QByteArray> KDNetLoadOperation::receivedData() const
{
    std::lock_guard lock(m_lock);
    return m_receivedData;
}

int KDNetLoadOperation::status() const
{
    std::lock_guard lock(m_lock);
    return m_status;
}

void KDNetLoadOperation::cancel()
{
    m_cancelled.store(true);
}

bool KDNetLoadOperation::isCancelled() const
{
    return m_cancelled.load();
}

bool KDNetLoadOperation::isFinished() const
{
    return m_finished.load();
}

void KDNetLoadOperation::start()
{
    if (!isCancelled())
        main();
    m_finished.store(true);
}

void KDNetLoadOperation::main()
{
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        qCWarning(lcUtility, "NetLoadOperation: '%s' cannot start a transfer", qPrintable(m_urlAddress));
        return;
    }

    const QByteArray address = m_urlAddress.toUtf8();
    const QByteArray credentials = (m_urlUser + QLatin1Char(':') + m_urlPassword).toUtf8();
    QByteArray buffer;
    curl_easy_setopt(curl.get(), CURLOPT_URL, address.constData());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    curl_easy_setopt(curl.get(), CURLOPT_USERPWD, credentials.constData());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &write_data);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &buffer);
    // Signals belong to the host program; time-outs of name resolution must not use them.
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, &abortWhenCancelled);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, this);
    // A server that never answers would otherwise hold up every later download on the queue.
    const TimeLimits limits = timeLimits();
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, long(limits.connect.count()));
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, long(limits.silence.count()));

    int status = -1;
    if (!isCancelled())
        status = static_cast<int>(curl_easy_perform(curl.get()));
    {
        std::lock_guard lock(m_lock);
        m_status = status;
    }
    if (isCancelled())
        return;

    // A transfer broken off (a time-out, a dropped connection) leaves a partial document at best.
    if (status == CURLE_OK && !buffer.isEmpty()) {
        qCInfo(lcUtility, "NetLoadOperation: '%s' loading completed, status %d", qPrintable(m_urlAddress),
               status);
        std::lock_guard lock(m_lock);
        m_receivedData = std::move(buffer);
    } else {
        qCWarning(lcUtility, "NetLoadOperation: '%s' loading failed, status %d", qPrintable(m_urlAddress),
                  status);
    }
    if (m_delegate == nullptr)
        return;
    gate().deliver(
        m_delegate, [this] { return !isCancelled(); },
        [this] { m_delegate->netLoaderOperationFinished(*this); });
}

} // namespace brevona
