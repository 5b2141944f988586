#include "KCSoftwareUpdates.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QStandardPaths>
#include <QTextDocument>
#include <QTimer>
#include <QVariantMap>

#include "InstallationOwner.h"
#include "LimitedDownload.h"
#include "PackageSignature.h"
#include "Paths.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "PropertyList.h"
#include "UpdateVersion.h"
#include "UpdatesLogging.h"

namespace brevona {

namespace {

const QString HandOffFile = QStringLiteral("updates.plist");
const QString PackageName = QStringLiteral("Lumivox Software");
const QString UpdaterName = QStringLiteral("brevona-updater");
const QString DriverName = QStringLiteral("BrevonaDriver");

// Ends a download without its finished() signal; it may be the sender of the signal being handled.
void discard(QPointer<LimitedDownload> &download, QObject *receiver)
{
    if (download) {
        download->disconnect(receiver);
        download->cancel();
        download->deleteLater();
    }
    download = nullptr;
}

QString plainTextHtml(const QString &text)
{
    QTextDocument document;
    document.setPlainText(text);
    return document.toHtml();
}

} // namespace

QUrl KCSoftwareUpdates::defaultBaseUrl()
{
    QString address = qEnvironmentVariable("BREVONA_UPDATE_URL");
    if (address.isEmpty())
        address = QStringLiteral(BREVONA_UPDATE_BASE_URL);
    if (!address.endsWith(QLatin1Char('/')))
        address += QLatin1Char('/');
    return QUrl(address, QUrl::StrictMode);
}

KCSoftwareUpdates::Options KCSoftwareUpdates::Options::installed()
{
    Options options;
    options.baseUrl = defaultBaseUrl();
    options.installedVersion = QCoreApplication::applicationVersion();
    if (options.installedVersion.isEmpty())
        options.installedVersion = QStringLiteral(BREVONA_VERSION);
    options.program = QCoreApplication::applicationFilePath();
    options.downloadPage = QUrl(QStringLiteral(BREVONA_DOWNLOAD_PAGE));
    options.publicKey = PackageSignature::releasePublicKey();
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString beside = programFolder.filePath(UpdaterName);
    if (QFileInfo(beside).isExecutable())
        options.updaterProgram = beside;
    const QString driver = programFolder.filePath(DriverName);
    options.driverPath =
        QFileInfo(driver).isExecutable() ? driver : QStandardPaths::findExecutable(DriverName);
    return options;
}

KCSoftwareUpdates::KCSoftwareUpdates(Options options, PreferencesStore &preferences, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_preferences(preferences)
    , m_network(new QNetworkAccessManager(this))
    , m_interval(new QTimer(this))
{
    // Nothing is cached, so nothing is kept on disk between checks either.
    m_network->setCache(nullptr);
    m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    // Documents are named relative to the base address, which is a folder.
    if (!m_options.baseUrl.isEmpty() && !m_options.baseUrl.path().endsWith(QLatin1Char('/')))
        m_options.baseUrl.setPath(m_options.baseUrl.path() + QLatin1Char('/'));
    if (!m_options.owner)
        m_options.owner = std::make_shared<PackageManagerProbe>();
    if (!m_options.openUrl)
        m_options.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    if (!m_options.startProgram)
        m_options.startProgram = [](const QString &program, const QStringList &arguments) {
            return QProcess::startDetached(program, arguments);
        };
    connect(m_interval, &QTimer::timeout, this, &KCSoftwareUpdates::scheduledCheck);
}

KCSoftwareUpdates::~KCSoftwareUpdates()
{
    // Downloads are children: they end with this object; a half-written package goes with them.
    stopInstall();
}

bool KCSoftwareUpdates::isCheckingUpdates() const
{
    return !m_listDownload.isNull();
}

bool KCSoftwareUpdates::isInstalling() const
{
    return !m_signature.isNull() || !m_package.isNull();
}

bool KCSoftwareUpdates::automaticChecksAllowed() const
{
    return m_preferences.boolValue(PreferenceKeys::GeneralCheckForUpdates);
}

void KCSoftwareUpdates::startScheduledChecks()
{
    if (m_options.baseUrl.isEmpty())
        return;
    if (!m_preferences.boolValue(PreferenceKeys::QuietMode))
        QTimer::singleShot(m_options.firstCheckDelayMs, this, &KCSoftwareUpdates::scheduledCheck);
    m_interval->start(m_options.checkIntervalMs);
}

void KCSoftwareUpdates::scheduledCheck()
{
    // The preference is read when the check is due, so switching it off stops the next one.
    if (automaticChecksAllowed())
        checkForUpdates();
}

QUrl KCSoftwareUpdates::serverUrl(const QString &relative) const
{
    return m_options.baseUrl.resolved(QUrl(relative));
}

void KCSoftwareUpdates::checkForUpdates()
{
    const bool wasChecking = isCheckingUpdates();
    discard(m_listDownload, this);
    discard(m_notesDownload, this);
    const QUrl base = m_options.baseUrl;
    if (!base.isValid() ||
        (base.scheme() != QLatin1String("https") && base.scheme() != QLatin1String("http"))) {
        if (wasChecking)
            Q_EMIT checkingChanged(false);
        failCheck(CheckError::Address,
                  QStringLiteral("the update server address \"%1\" is not an http or https address")
                      .arg(base.toDisplayString()));
        return;
    }
    // The time only makes each address unique, so that no cache on the way answers.
    const QString hash =
        QString::number(static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0, 'f', 3);
    m_listDownload = new LimitedDownload(*m_network, serverUrl(QStringLiteral("versions.xml?hash=") + hash),
                                         kMaxVersionListBytes, m_options.requestTimeoutMs, this);
    m_notesDownload =
        new LimitedDownload(*m_network, serverUrl(QStringLiteral("description.rtf?hash=") + hash),
                            kMaxNotesBytes, m_options.requestTimeoutMs, this);
    connect(m_listDownload, &LimitedDownload::finished, this, &KCSoftwareUpdates::listFinished);
    connect(m_notesDownload, &LimitedDownload::finished, this, &KCSoftwareUpdates::notesFinished);
    m_listDownload->start();
    m_notesDownload->start();
    if (!wasChecking)
        Q_EMIT checkingChanged(true);
}

void KCSoftwareUpdates::listFinished(bool ok)
{
    LimitedDownload *download = m_listDownload;
    if (!download || sender() != download)
        return; // an abandoned check's answer
    download->deleteLater();
    m_listDownload = nullptr;
    Q_EMIT checkingChanged(false);
    if (!ok) {
        // A transfer that failed leaves what the last check found.
        failCheck(CheckError::Transfer, download->errorString());
        return;
    }
    const Result<UpdateFeed> feed = UpdateFeed::parse(download->data());
    if (!feed) {
        // An answer that is no version list names no version: no update is offered.
        m_feed.reset();
        m_updateAvailable = false;
        failCheck(CheckError::Answer, feed.error());
        return;
    }
    m_lastError.clear();
    m_lastErrorKind = CheckError::None;
    m_feed = *feed;
    m_updateAvailable = UpdateVersion::isNewer(m_feed->version, m_options.installedVersion);
    if (!UpdateVersion::isNumeric(m_feed->version))
        qCInfo(lcUpdates).noquote() << "The server's version" << m_feed->version
                                    << "is not a number: it counts as 0";
    rebuildDescription();
    Q_EMIT checkFinished();
}

void KCSoftwareUpdates::notesFinished(bool ok)
{
    LimitedDownload *download = m_notesDownload;
    if (!download || sender() != download)
        return;
    download->deleteLater();
    m_notesDownload = nullptr;
    if (!ok) {
        m_releaseNotes.reset();
        m_notesError = download->errorString();
        qCWarning(lcUpdates).noquote() << "The release notes cannot be loaded:" << m_notesError;
    } else {
        m_notesError.clear();
        m_releaseNotes = ReleaseNotes::fromReply(download->data(), download->contentType(),
                                                 download->finalUrl().fileName());
    }
    rebuildDescription();
}

void KCSoftwareUpdates::failCheck(CheckError kind, const QString &message)
{
    m_lastError = message;
    m_lastErrorKind = kind;
    qCWarning(lcUpdates).noquote() << "Error when checking for updates:" << message;
    Q_EMIT checkFailed(message);
}

void KCSoftwareUpdates::rebuildDescription()
{
    if (!m_notesError.isEmpty())
        m_descriptionHtml = plainTextHtml(m_notesError);
    else if (m_releaseNotes)
        m_descriptionHtml = m_releaseNotes->html(m_options.installedVersion,
                                                 m_feed ? m_feed->version : m_options.installedVersion);
    else
        return;
    Q_EMIT descriptionChanged();
}

void KCSoftwareUpdates::tryToPromptUpdate()
{
    if (!m_updateAvailable)
        return;
    const bool playSound = !m_soundPlayed;
    m_soundPlayed = true;
    Q_EMIT promptUpdate(playSound);
}

void KCSoftwareUpdates::performUpdate()
{
    if (isInstalling())
        return;
    if (!m_updateAvailable || !m_feed) {
        failInstall(QStringLiteral("no update is available"));
        return;
    }
    if (const std::optional<QString> manager = m_options.owner->packageManager(m_options.program)) {
        const QString message =
            QStringLiteral(
                "This installation belongs to %1: update it with your package manager; the download "
                "page opens for version %2.")
                .arg(*manager, m_feed->version);
        qCInfo(lcUpdates).noquote() << message;
        if (m_options.downloadPage.isValid())
            m_options.openUrl(m_options.downloadPage);
        Q_EMIT installManaged(message);
        return;
    }
    if (m_feed->filename.isEmpty()) {
        failInstall(QStringLiteral("the version list names no package"));
        return;
    }
    m_packageUrl =
        serverUrl(QStringLiteral("data/") + QString::fromLatin1(QUrl::toPercentEncoding(m_feed->filename)));
    const QUrl signatureUrl =
        serverUrl(QStringLiteral("data/") +
                  QString::fromLatin1(QUrl::toPercentEncoding(m_feed->filename + QStringLiteral(".sig"))));
    if (const QString refusal = LimitedDownload::refusalForPackage(m_packageUrl, m_options.allowLoopbackHttp);
        !refusal.isEmpty()) {
        failInstall(refusal);
        return;
    }
    const std::optional<QString> folder = Paths::privateWorkingFolder(m_options.workingFolderName);
    if (!folder) {
        failInstall(QStringLiteral("no private working folder can be made for the package"));
        return;
    }
    // What an earlier attempt left is never reused.
    QDir working(*folder);
    for (const QFileInfo &entry :
         working.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        const bool removed = entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively()
                                                                 : QFile::remove(entry.filePath());
        if (!removed) {
            failInstall(QStringLiteral("%1 cannot be emptied").arg(*folder));
            return;
        }
    }
    m_folder = *folder;
    m_packageFile = std::make_unique<QFile>(working.filePath(m_feed->filename));
    if (!m_packageFile->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        const QString error = m_packageFile->errorString();
        m_packageFile.reset();
        failInstall(QStringLiteral("the package cannot be saved in %1: %2").arg(*folder, error));
        return;
    }
    m_packageFile->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // The small signature first: without one, the package is not worth fetching.
    m_signature =
        new LimitedDownload(*m_network, signatureUrl, kMaxSignatureBytes, m_options.requestTimeoutMs, this);
    connect(m_signature, &LimitedDownload::finished, this, &KCSoftwareUpdates::signatureFinished);
    m_signature->start();
}

void KCSoftwareUpdates::signatureFinished(bool ok)
{
    if (!ok) {
        failInstall(m_signature->errorString());
        return;
    }
    m_package = new LimitedDownload(*m_network, m_packageUrl, m_options.maxPackageBytes,
                                    m_options.requestTimeoutMs, this);
    m_package->setSink(m_packageFile.get());
    connect(m_package, &LimitedDownload::progress, this, &KCSoftwareUpdates::installProgress);
    connect(m_package, &LimitedDownload::finished, this, &KCSoftwareUpdates::packageFinished);
    m_package->start();
}

void KCSoftwareUpdates::packageFinished(bool ok)
{
    if (!ok) {
        failInstall(m_package->errorString());
        return;
    }
    finishInstall();
}

void KCSoftwareUpdates::finishInstall()
{
    // Redirects may not leave HTTPS either.
    for (const LimitedDownload *part : {m_package.data(), m_signature.data()}) {
        if (const QString refusal =
                LimitedDownload::refusalForPackage(part->finalUrl(), m_options.allowLoopbackHttp);
            !refusal.isEmpty()) {
            failInstall(refusal);
            return;
        }
    }
    if (!m_packageFile->flush()) {
        failInstall(QStringLiteral("the package cannot be saved: %1").arg(m_packageFile->errorString()));
        return;
    }
    const QString packagePath = m_packageFile->fileName();
    m_packageFile->close();
    const QString refusal =
        PackageSignature::refusalForFile(packagePath, m_signature->data(), m_options.publicKey);
    if (!refusal.isEmpty()) {
        failInstall(refusal);
        return;
    }
    const QVariantMap handOff{
        {QStringLiteral("ConfiguratorPath"), m_options.program},
        {QStringLiteral("DriverPath"), m_options.driverPath},
        {QStringLiteral("UpdateInfo"),
         QVariantList{QVariantMap{
             {QStringLiteral("Name"), PackageName},
             {QStringLiteral("DownloadPath"), m_packageUrl.toString()},
             {QStringLiteral("InstallPath"), QFileInfo(m_options.program).absolutePath()},
             // The updater installs this verified copy; it never downloads the package again.
             {QStringLiteral("PackagePath"), packagePath},
         }}},
    };
    const QString handOffPath = QDir(m_folder).filePath(HandOffFile);
    if (!PropertyList::writeFile(handOffPath, handOff)) {
        failInstall(QStringLiteral("the hand-off file %1 cannot be written").arg(handOffPath));
        return;
    }
    if (m_options.updaterProgram.isEmpty() || !QFileInfo(m_options.updaterProgram).isExecutable()) {
        failInstall(
            QStringLiteral("the package is verified, but no updater program is installed to install it"));
        return;
    }
    const QString folder = m_folder;
    if (!m_options.startProgram(m_options.updaterProgram, {handOffPath})) {
        failInstall(QStringLiteral("the updater program %1 cannot be started").arg(m_options.updaterProgram));
        return;
    }
    qCInfo(lcUpdates).noquote() << "The verified package for version" << m_feed->version << "is handed to"
                                << m_options.updaterProgram;
    stopInstall();
    Q_EMIT installHandedOff(folder);
}

void KCSoftwareUpdates::failInstall(const QString &message)
{
    qCWarning(lcUpdates).noquote() << "The update cannot be installed:" << message;
    stopInstall();
    // What was downloaded is never left for anyone to start.
    if (!m_folder.isEmpty())
        QDir(m_folder).removeRecursively();
    m_folder.clear();
    Q_EMIT installFailed(message);
}

void KCSoftwareUpdates::stopInstall()
{
    discard(m_package, this);
    discard(m_signature, this);
    m_packageFile.reset();
}

} // namespace brevona
