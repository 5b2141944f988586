#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QString>

#include "BrevonaUtilityExport.h"

namespace brevona {

class KDNetLoadDelegate;
class SerialOperationQueue;

// One blocking HTTP transfer with libcurl, run on the shared download queue, which performs one
// transfer at a time on its own thread and calls the delegate there. The server's answer is
// kept as it arrives; redirects are not followed and an HTTP error status still counts as a
// completed load when the server sent a body. Since one transfer holds up every later one, a
// server that does not take the connection in time, or sends nothing for too long, ends the
// transfer as failed (libcurl's time-out code), and the delegate hears of it as of any failure.
class BREVONAUTILITY_EXPORT KDNetLoadOperation : public std::enable_shared_from_this<KDNetLoadOperation>
{
public:
    struct TimeLimits
    {
        // Until the connection is made (name resolution included).
        std::chrono::seconds connect{15};
        // Without a single byte arriving, once connected.
        std::chrono::seconds silence{30};
    };

    // Credentials go to the server with whatever authentication method it asks for, as
    // "user:password" (empty parts allowed).
    KDNetLoadOperation(const QString &address, const QString &userName, const QString &userPassword,
                       KDNetLoadDelegate *delegate);
    KDNetLoadOperation(const QString &address, KDNetLoadDelegate *delegate);
    ~KDNetLoadOperation();
    KDNetLoadOperation(const KDNetLoadOperation &) = delete;
    KDNetLoadOperation &operator=(const KDNetLoadOperation &) = delete;

    // Creates an operation and adds it to the shared download queue.
    static std::shared_ptr<KDNetLoadOperation> getAddress(const QString &address, const QString &userName,
                                                          const QString &userPassword,
                                                          KDNetLoadDelegate *delegate);
    // Cancels every waiting and running operation of the delegate; none of them calls it. When
    // this returns, a call already running into the delegate on the queue's thread has returned.
    static void cancelAllDownloadsForDelegate(KDNetLoadDelegate *delegate);
    // Created on first use, lives until the process ends.
    static SerialOperationQueue &sharedDownloadQueue();
    // The limits of every transfer started from now on (whole seconds, at least 1).
    static TimeLimits timeLimits();
    static void setTimeLimits(TimeLimits limits);

    KDNetLoadDelegate *delegate() const { return m_delegate; }
    const QString &urlAddress() const { return m_urlAddress; }
    // The body received, or nothing when none came.
    std::optional<QByteArray> receivedData() const;
    // The transfer's libcurl result code; -1 when cancelled before the transfer.
    int status() const;

    // Skips a transfer that has not started and breaks off a running one; the delegate is
    // not called either way.
    void cancel();
    bool isCancelled() const;
    bool isFinished() const;

    // Runs the operation unless it is already cancelled. Called by the queue.
    void start();

private:
    void main();

    KDNetLoadDelegate *const m_delegate;
    const QString m_urlAddress;
    const QString m_urlUser;
    const QString m_urlPassword;
    mutable std::mutex m_lock;
    std::optional<QByteArray> m_receivedData;
    int m_status = -1;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_finished{false};
};

} // namespace brevona
