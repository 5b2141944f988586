#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "ReleaseNotes.h"
#include "UpdateFeed.h"

class QFile;
class QNetworkAccessManager;
class QTimer;

namespace brevona {

class InstallationOwner;
class LimitedDownload;
class PreferencesStore;

// The configurator's software updates without the window: the check against the update server
// ("versions.xml" and "description.rtf", each address made unique by the time so no cache answers),
// its schedule, the comparison of versions, the release notes with the installed versions dimmed,
// the prompt, and the installation. The updates window shows its state and calls it; so does
// "brevona-layers updates check".
//
// Installing never runs an unverified download: when a package manager owns the installation the
// user is told so and the download page opens; otherwise the package and its detached Ed25519
// signature are fetched over HTTPS into a private working folder, the signature is checked against
// the release key, and only then is the hand-off file written and the updater program started.
// Any failure is one signal and one log line, and nothing is started.
class KCSoftwareUpdates : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isCheckingUpdates READ isCheckingUpdates NOTIFY checkingChanged)
public:
    static constexpr int kRequestTimeoutMs = 10'000;
    static constexpr int kFirstCheckDelayMs = 2'000;
    static constexpr int kCheckIntervalMs = 72 * 60 * 60 * 1000;
    static constexpr qint64 kMaxVersionListBytes = 1024 * 1024;
    static constexpr qint64 kMaxNotesBytes = 1024 * 1024;
    static constexpr qint64 kMaxPackageBytes = 512LL * 1024 * 1024;
    static constexpr qint64 kMaxSignatureBytes = 1024;

    struct Options
    {
        QUrl baseUrl;             // the server's folder; empty: no checks
        QString installedVersion; // the running configurator's version
        QString program;          // the running configurator's executable
        QString driverPath;       // the driver the updater restarts
        QUrl downloadPage;        // opened when a package manager owns the installation
        QString updaterProgram;   // started with the hand-off file's path; empty: none is installed
        QByteArray publicKey;     // raw Ed25519 key the packages must be signed with
        // Who owns the installation; none: the system is asked (PackageManagerProbe).
        std::shared_ptr<InstallationOwner> owner;
        std::function<bool(const QUrl &)> openUrl;                              // none: QDesktopServices
        std::function<bool(const QString &, const QStringList &)> startProgram; // none: detached QProcess
        // Tests only: packages may come over plain http from this computer.
        bool allowLoopbackHttp = false;
        int requestTimeoutMs = kRequestTimeoutMs;
        int firstCheckDelayMs = kFirstCheckDelayMs;
        int checkIntervalMs = kCheckIntervalMs;
        qint64 maxPackageBytes = kMaxPackageBytes;
        QString workingFolderName = QStringLiteral("updater");

        // The running program's: the compiled server address (or BREVONA_UPDATE_URL), version,
        // executable, the release key and an updater beside the program when there is one.
        static Options installed();
    };

    // The update server's base address: BREVONA_UPDATE_URL when set, else the compiled one; always
    // ending in "/".
    static QUrl defaultBaseUrl();

    KCSoftwareUpdates(Options options, PreferencesStore &preferences, QObject *parent = nullptr);
    ~KCSoftwareUpdates() override;

    const Options &options() const { return m_options; }

    // The schedule: a check kFirstCheckDelayMs from now unless "QuietMode" is set, and one every
    // 72 hours; neither while the user has switched automatic checks off ("GeneralCheckForUpdates").
    void startScheduledChecks();
    bool automaticChecksAllowed() const;

    // Starts both requests; a check still running is abandoned (its answers are dropped).
    void checkForUpdates();
    bool isCheckingUpdates() const;

    QString installedVersion() const { return m_options.installedVersion; }
    // The server's version from the last version list; empty before one arrived.
    QString availableVersion() const { return m_feed ? m_feed->version : QString(); }
    bool configuratorUpdateAvailable() const { return m_updateAvailable; }
    // The colour of the available version's label while an update is available: dark red.
    static QColor availableVersionColour() { return QColor::fromHsvF(0, 0.8f, 0.7f); }
    // The last version list received.
    const std::optional<UpdateFeed> &updateInfo() const { return m_feed; }
    enum class CheckError
    {
        None,
        Address,  // the base address is no http or https address
        Transfer, // the server could not be asked: no answer, an error status, too large an answer
        Answer,   // its answer is no usable version list
    };
    // Why the last check failed; empty (None) after one that did not.
    const QString &lastError() const { return m_lastError; }
    CheckError lastErrorKind() const { return m_lastErrorKind; }

    // The release notes as received (nothing before they arrived), and as the view shows them:
    // HTML with the installed versions' notes dimmed, or the error text of a failed download.
    const std::optional<ReleaseNotes> &releaseNotes() const { return m_releaseNotes; }
    const QString &descriptionHtml() const { return m_descriptionHtml; }

    // On every activation of the application: when an update is available, promptUpdate() asks
    // the window to show itself; its sound plays only the first time in a run.
    void tryToPromptUpdate();

    // The install button. Its outcome is one of installManaged(), installHandedOff() or
    // installFailed().
    void performUpdate();
    bool isInstalling() const;

Q_SIGNALS:
    void checkingChanged(bool checking);
    // A version list arrived: the versions and availability above are its.
    void checkFinished();
    // One line; the log has "Error when checking for updates: <message>".
    void checkFailed(const QString &message);
    void descriptionChanged();
    void promptUpdate(bool playSound);
    // A package manager owns the installation: the one line to show; the download page is open.
    void installManaged(const QString &message);
    void installProgress(qint64 received, qint64 total);
    // The verified package and the hand-off file are in `folder`, and the updater was started.
    void installHandedOff(const QString &folder);
    void installFailed(const QString &message);

private:
    void listFinished(bool ok);
    void notesFinished(bool ok);
    void failCheck(CheckError kind, const QString &message);
    void rebuildDescription();
    void scheduledCheck();
    QUrl serverUrl(const QString &relative) const;
    void signatureFinished(bool ok);
    void packageFinished(bool ok);
    void failInstall(const QString &message);
    void finishInstall();
    void stopInstall();

    Options m_options;
    PreferencesStore &m_preferences;
    QNetworkAccessManager *m_network;
    QTimer *m_interval;
    // The running check's two downloads, each with its own buffer.
    QPointer<LimitedDownload> m_listDownload;
    QPointer<LimitedDownload> m_notesDownload;
    std::optional<UpdateFeed> m_feed;
    bool m_updateAvailable = false;
    QString m_lastError;
    CheckError m_lastErrorKind = CheckError::None;
    std::optional<ReleaseNotes> m_releaseNotes;
    QString m_notesError;
    QString m_descriptionHtml;
    bool m_soundPlayed = false;
    // The running installation.
    QPointer<LimitedDownload> m_package;
    QPointer<LimitedDownload> m_signature;
    std::unique_ptr<QFile> m_packageFile;
    QString m_folder;
    QUrl m_packageUrl;
};

} // namespace brevona
