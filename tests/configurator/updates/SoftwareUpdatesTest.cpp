// The software updates against a loopback HTTP server: the check, its schedule, the notes, the
// prompt, and the installation, which starts nothing unverified; and who owns the installation.
#include <algorithm>
#include <memory>
#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FirmwareFiles.h"
#include "InstallationOwner.h"
#include "KCSoftwareUpdates.h"
#include "LogCapture.h"
#include "LoopbackHttpServer.h"
#include "PackageSignature.h"
#include "Paths.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "PropertyList.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
using Response = test::LoopbackHttpServer::Reply;

namespace {

constexpr int kTimeoutMs = 300;
const QByteArray kPackageName = "brevona-1.6.tgz";
const QByteArray kPackage = QByteArray("brevona 1.6 package\n").repeated(5000);

Response listResponse(const QByteArray &version)
{
    return {
        .contentType = "text/xml",
        .body =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Configurator</key>"
            "<dict><key>Version</key><string>" +
            version + "</string><key>Filename</key><string>" + kPackageName +
            "</string></dict></dict></plist>\n"};
}

// kPackage signed once with a throwaway Ed25519 key whose private half was not kept; the release
// key has no part in the tests.
const QByteArray kPublicKey =
    QByteArray::fromHex("38052f9d14b5ceff162d2c98f85fc137b447705815cd25cd92a804231259915b");
const QByteArray kSignature =
    QByteArray::fromHex("157b1c972eeae94e4958c88413a6527bfccfb6d9619e637a86b6e774f9cbfede"
                        "0c86b3c57ed8a448986573166d530ca21bb61ebc2e159b803edb6d30493e1e08");

struct FakeOwner : InstallationOwner
{
    std::optional<QString> packageManager(const QString &) override { return manager; }
    std::optional<QString> manager;
};

// The updates object of an installed 1.5 on a temporary home, against the loopback server (which
// offers 1.6 until a test says otherwise), with the test's key, a stand-in owner of the
// installation, and the programs started and pages opened recorded. Tests adjust the options
// before make().
struct Fixture
{
    Fixture() { server.route("/versions.xml", listResponse("1.6")); }

    KCSoftwareUpdates &make()
    {
        updates = std::make_unique<KCSoftwareUpdates>(options, preferences);
        return *updates;
    }

    // Runs one check to its end; false when it never ended.
    bool check()
    {
        QSignalSpy finished(updates.get(), &KCSoftwareUpdates::checkFinished);
        QSignalSpy failed(updates.get(), &KCSoftwareUpdates::checkFailed);
        updates->checkForUpdates();
        return test::waitUntil([&] { return finished.count() + failed.count() > 0; });
    }

    test::TestHome home;
    PreferencesStore preferences{home.configHome() + QStringLiteral("/preferences.plist")};
    test::LoopbackHttpServer server;
    std::shared_ptr<FakeOwner> owner = std::make_shared<FakeOwner>();
    QList<QUrl> opened;
    QStringList started;
    KCSoftwareUpdates::Options options{
        .baseUrl = server.url(),
        .installedVersion = QStringLiteral("1.5"),
        .program = QStringLiteral("/opt/brevona/bin/brevona-configurator"),
        .driverPath = QStringLiteral("/opt/brevona/bin/BrevonaDriver"),
        .downloadPage = QUrl(QStringLiteral("https://example.invalid/download")),
        .updaterProgram = QStringLiteral("/bin/true"),
        .publicKey = kPublicKey,
        .owner = owner,
        .openUrl =
            [this](const QUrl &url) {
                opened.append(url);
                return true;
            },
        .startProgram =
            [this](const QString &program, const QStringList &arguments) {
                started.append(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
                return true;
            },
        .allowLoopbackHttp = true,
        .requestTimeoutMs = kTimeoutMs,
    };
    std::unique_ptr<KCSoftwareUpdates> updates;
};

// ---- The check --------------------------------------------------------------------------------

// The base address names a folder, with or without its final slash; both documents carry the same
// time in their address, so that no cache on the way answers, and ask for no cached copy.
TEST(UpdateCheck, AsksForBothDocumentsInTheFolderPastAnyCache)
{
    Fixture fixture;
    fixture.options.baseUrl = fixture.server.url("/brevona/updates");
    fixture.make();
    ASSERT_TRUE(fixture.check());
    ASSERT_TRUE(test::waitUntil([&] { return fixture.server.requests().size() == 2; }));
    auto requests = fixture.server.requests();
    std::ranges::sort(requests, {}, &test::LoopbackHttpServer::Request::path);
    const QByteArray hash = requests.at(1).path.mid(requests.at(1).path.indexOf("?hash=") + 6);
    EXPECT_EQ(requests.at(0).path, "/brevona/updates/description.rtf?hash=" + hash);
    EXPECT_EQ(requests.at(1).path, "/brevona/updates/versions.xml?hash=" + hash);
    EXPECT_GT(hash.toDouble(), 1.7e9) << hash.toStdString();
    EXPECT_EQ(requests.at(1).headers.value("cache-control"), "no-cache");
}

// The notes arrive reduced from RTF, the installed version's dimmed below a rule; the quiet time
// after complete answers is no stalled server.
TEST(UpdateCheck, NotesDimTheInstalledVersionAndCompleteAnswersNeverTimeOut)
{
    Fixture fixture;
    fixture.server.route("/description.rtf",
                         Response{.contentType = "text/rtf",
                                  .body = "{\\rtf1\\ansi Version 1.6\\par New\\par Version 1.5\\par Old}"});
    KCSoftwareUpdates &updates = fixture.make();
    QSignalSpy failed(&updates, &KCSoftwareUpdates::checkFailed);
    ASSERT_TRUE(fixture.check());
    ASSERT_TRUE(test::waitUntil([&] { return updates.releaseNotes().has_value(); }));
    test::settle(std::chrono::milliseconds(3 * kTimeoutMs));
    EXPECT_EQ(failed.count(), 0);
    EXPECT_TRUE(updates.configuratorUpdateAvailable());
    ASSERT_TRUE(updates.releaseNotes().has_value());
    EXPECT_EQ(updates.releaseNotes()->text(), QStringLiteral("Version 1.6\nNew\nVersion 1.5\nOld"));
    EXPECT_TRUE(updates.descriptionHtml().contains(QLatin1String("<hr")));
    EXPECT_TRUE(updates.descriptionHtml().contains(QLatin1String(ReleaseNotes::kDimmedColour)));
}

// Notes that cannot be loaded show why; a version list that cannot be loaded keeps what the last
// check found.
TEST(UpdateCheck, AFailedDownloadSaysWhyAndKeepsTheLastVersions)
{
    Fixture fixture; // no notes: 404
    KCSoftwareUpdates &updates = fixture.make();
    ASSERT_TRUE(fixture.check());
    ASSERT_TRUE(test::waitUntil([&] { return updates.descriptionHtml().contains(QLatin1String("404")); }));
    EXPECT_TRUE(updates.descriptionHtml().contains(QLatin1String("description.rtf")));
    EXPECT_FALSE(updates.releaseNotes().has_value());

    fixture.server.route("/versions.xml", Response{.status = 404});
    ASSERT_TRUE(fixture.check());
    EXPECT_TRUE(updates.configuratorUpdateAvailable());
    EXPECT_EQ(updates.availableVersion(), QStringLiteral("1.6"));
    EXPECT_EQ(updates.lastError(), QStringLiteral("the server answered 404 Not Found for versions.xml"));
}

// A second check abandons the first: its late answer (a newer version) never lands.
TEST(UpdateCheck, OverlappingChecksKeepTheirAnswersApart)
{
    Fixture fixture;
    fixture.server.route(
        "/versions.xml",
        Response{.contentType = "text/xml", .body = listResponse("1.9").body, .delayMs = 200});
    fixture.options.requestTimeoutMs = 5000;
    KCSoftwareUpdates &updates = fixture.make();
    QSignalSpy finished(&updates, &KCSoftwareUpdates::checkFinished);
    QSignalSpy checking(&updates, &KCSoftwareUpdates::checkingChanged);
    updates.checkForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return fixture.server.requestCount("/versions.xml") == 1; }));
    fixture.server.route("/versions.xml", listResponse("1.6"));
    updates.checkForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return finished.count() == 1; }));
    test::settle(std::chrono::milliseconds(400));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(updates.availableVersion(), QStringLiteral("1.6"));
    EXPECT_EQ(checking, (QList<QVariantList>{{true}, {false}})) << "one check in progress, then none";
}

// ---- The schedule -----------------------------------------------------------------------------

struct ScheduleRow
{
    const char *name;
    bool quiet;
    bool automatic;
    int intervalMs;
    int checks; // versions.xml requests expected; with a short interval, at least this many
};

class UpdateSchedule : public testing::TestWithParam<ScheduleRow>
{
};

TEST_P(UpdateSchedule, FollowsQuietModeAndTheAutomaticCheckPreference)
{
    const ScheduleRow &row = GetParam();
    Fixture fixture;
    fixture.preferences.setValue(PreferenceKeys::QuietMode, row.quiet);
    fixture.preferences.setValue(PreferenceKeys::GeneralCheckForUpdates, row.automatic);
    fixture.options.firstCheckDelayMs = 10;
    fixture.options.checkIntervalMs = row.intervalMs;
    fixture.make().startScheduledChecks();
    const auto checks = [&] { return fixture.server.requestCount("/versions.xml"); };
    if (row.checks > 0) {
        EXPECT_TRUE(test::waitUntil([&] { return checks() >= row.checks; })) << checks();
    }
    if (row.checks == 0 || row.intervalMs > 60'000) {
        test::settle(std::chrono::milliseconds(300));
        EXPECT_EQ(checks(), row.checks);
    }
}

// clang-format off
const ScheduleRow kScheduleRows[] = {
    {.name = "SoonAfterStart",      .quiet = false, .automatic = true,  .intervalMs = 3'600'000, .checks = 1},
    {.name = "QuietModeSkipsStart", .quiet = true,  .automatic = true,  .intervalMs = 3'600'000, .checks = 0},
    {.name = "RepeatsInQuietMode",  .quiet = true,  .automatic = true,  .intervalMs = 50,        .checks = 2},
    {.name = "SwitchedOff",         .quiet = false, .automatic = false, .intervalMs = 50,        .checks = 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, UpdateSchedule, testing::ValuesIn(kScheduleRows), test::RowName());

// Only an available update is prompted, with the sound the first time in a run.
TEST(UpdatePrompt, SoundOnlyTheFirstTime)
{
    Fixture fixture;
    fixture.server.route("/versions.xml", listResponse("1.5"));
    KCSoftwareUpdates &updates = fixture.make();
    QSignalSpy prompts(&updates, &KCSoftwareUpdates::promptUpdate);
    ASSERT_TRUE(fixture.check());
    updates.tryToPromptUpdate();
    EXPECT_EQ(prompts.count(), 0) << "the same version is no update";
    fixture.server.route("/versions.xml", listResponse("1.6"));
    ASSERT_TRUE(fixture.check());
    updates.tryToPromptUpdate();
    updates.tryToPromptUpdate();
    EXPECT_EQ(prompts, (QList<QVariantList>{{true}, {false}}));
}

// ---- The installation -------------------------------------------------------------------------

struct InstallRow
{
    const char *name;
    const char *outcome = "handed off"; // the signal's line, as it starts
    const char *serverVersion = "1.6";
    const char *manager = nullptr; // a package manager owns the installation
    Response package = {.body = kPackage};
    std::optional<QByteArray> signature = kSignature; // none: 404
    bool allowHttp = true;
    bool updater = true;
    qint64 maxPackageBytes = KCSoftwareUpdates::kMaxPackageBytes;
};

class UpdateInstall : public testing::TestWithParam<InstallRow>
{
};

TEST_P(UpdateInstall, StartsNothingUnverified)
{
    const InstallRow &row = GetParam();
    Fixture fixture;
    if (row.manager)
        fixture.owner->manager = QString::fromUtf8(row.manager);
    fixture.server.route("/versions.xml", listResponse(row.serverVersion));
    fixture.server.route("/data/" + kPackageName, row.package);
    if (row.signature)
        fixture.server.route("/data/" + kPackageName + ".sig", Response{.body = *row.signature});
    fixture.options.allowLoopbackHttp = row.allowHttp;
    fixture.options.maxPackageBytes = row.maxPackageBytes;
    if (!row.updater)
        fixture.options.updaterProgram.clear();
    KCSoftwareUpdates &updates = fixture.make();
    ASSERT_TRUE(fixture.check());
    const QString folder = fixture.home.runtimeDir() + QStringLiteral("/brevona/updater");
    const QString package = folder + QLatin1Char('/') + QString::fromUtf8(kPackageName);
    const bool handedOff = qstrcmp(row.outcome, "handed off") == 0;
    if (handedOff) {
        // What an earlier run left there (it may have ended mid-download) is never reused.
        ASSERT_EQ(Paths::privateWorkingFolder(QStringLiteral("updater")), folder);
        ASSERT_TRUE(test::writeFileBytes(package, "left over") && QDir(folder).mkdir(QStringLiteral("left")));
    }
    QStringList outcomes;
    QObject::connect(&updates, &KCSoftwareUpdates::installManaged,
                     [&](const QString &line) { outcomes << QStringLiteral("managed: ") + line; });
    QObject::connect(&updates, &KCSoftwareUpdates::installHandedOff,
                     [&](const QString &line) { outcomes << QStringLiteral("handed off: ") + line; });
    QObject::connect(&updates, &KCSoftwareUpdates::installFailed,
                     [&](const QString &line) { outcomes << QStringLiteral("failed: ") + line; });
    test::LogCapture log({QStringLiteral("brevona.configurator.updates")});
    updates.performUpdate();
    ASSERT_TRUE(test::waitUntil([&] { return !outcomes.isEmpty(); }));
    test::settle(std::chrono::milliseconds(0));
    EXPECT_FALSE(updates.isInstalling());
    ASSERT_EQ(outcomes.size(), 1) << outcomes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(outcomes.at(0).startsWith(QString::fromUtf8(row.outcome))) << outcomes.at(0).toStdString();
    // A failure is one line in the log as well; a package manager's installation gets its page.
    EXPECT_EQ(log.count(QStringLiteral("The update cannot be installed: ")),
              outcomes.at(0).startsWith("failed") ? 1 : 0);
    if (row.manager) {
        EXPECT_EQ(fixture.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.invalid/download"))});
        EXPECT_EQ(fixture.server.requestCount("/data/" + kPackageName), 0);
    }
    if (!handedOff) {
        EXPECT_TRUE(fixture.started.isEmpty()) << "nothing is started";
        EXPECT_FALSE(QFileInfo::exists(package)) << "nothing is left to start";
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/updates.plist")));
        return;
    }
    EXPECT_EQ(outcomes.at(0), QStringLiteral("handed off: ") + folder);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{QString::fromUtf8(kPackageName), QStringLiteral("updates.plist")}));
    EXPECT_EQ(test::fileBytes(package), kPackage);
    const auto handOff = PropertyList::readDictionary(folder + QStringLiteral("/updates.plist"));
    ASSERT_TRUE(handOff.has_value());
    const QVariantMap expected{
        {QStringLiteral("ConfiguratorPath"), QStringLiteral("/opt/brevona/bin/brevona-configurator")},
        {QStringLiteral("DriverPath"), QStringLiteral("/opt/brevona/bin/BrevonaDriver")},
        {QStringLiteral("UpdateInfo"),
         QVariantList{QVariantMap{
             {QStringLiteral("Name"), QStringLiteral("Lumivox Software")},
             {QStringLiteral("DownloadPath"), fixture.server.url("/data/" + kPackageName).toString()},
             {QStringLiteral("InstallPath"), QStringLiteral("/opt/brevona/bin")},
             {QStringLiteral("PackagePath"), package},
         }}},
    };
    EXPECT_EQ(test::printable(*handOff), test::printable(expected));
    EXPECT_EQ(fixture.started,
              QStringList{QStringLiteral("/bin/true ") + folder + QStringLiteral("/updates.plist")});
}

// clang-format off
const InstallRow kInstallRows[] = {
    {.name = "Verified"},
    {.name = "SignatureAsBase64Text", .signature = kSignature.toBase64() + '\n'},
    {.name = "PackageManagerOwnsIt", .outcome = "managed: This installation belongs to dpkg", .manager = "dpkg"},
    {.name = "TamperedPackage", .outcome = "failed: the package's signature does not match the release key", .package = {.body = QByteArray(kPackage).replace("1.6", "6.6")}},
    {.name = "TruncatedSignature", .outcome = "failed: the signature is not a 64-byte Ed25519 signature", .signature = kSignature.left(PackageSignature::kSignatureBytes - 1)},
    {.name = "NoSignature", .outcome = "failed: the server answered 404 Not Found for brevona-1.6.tgz.sig", .signature = std::nullopt},
    {.name = "OversizedSignature", .outcome = "failed: the answer for brevona-1.6.tgz.sig is larger than 1024 bytes", .signature = QByteArray(4096, 'A')},
    {.name = "OversizedPackageWhileReading", .outcome = "failed: the answer for brevona-1.6.tgz is larger than 1000 bytes", .package = {.body = kPackage, .omitLength = true}, .maxPackageBytes = 1000},
    {.name = "PlainHttpRefused", .outcome = "failed: packages are fetched over HTTPS only", .allowHttp = false},
    {.name = "NoUpdaterInstalled", .outcome = "failed: the package is verified, but no updater program is installed", .updater = false},
    {.name = "NothingNewer", .outcome = "failed: no update is available", .serverVersion = "1.5"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, UpdateInstall, testing::ValuesIn(kInstallRows), test::RowName());

// A package that cannot be read where it was saved is no verified package.
TEST(UpdateInstall, AnUnreadablePackageIsRefused)
{
    EXPECT_TRUE(
        PackageSignature::refusalForFile(QStringLiteral("/nonexistent/package"), kSignature, kPublicKey)
            .startsWith(QLatin1String("the package cannot be read")));
}

// ---- Who owns the installation ---------------------------------------------------------------

struct OwnerRow
{
    const char *name;
    // One query program per entry: its shell body ("exit 0" owns the file).
    QStringList scripts;
    const char *sandbox; // FLATPAK_ID or SNAP set, or nullptr
    const char *owner;   // nullptr: nobody
};

class OwnerProbe : public testing::TestWithParam<OwnerRow>
{
};

// The query programs are stand-ins on a temporary folder; each records the path it was asked about.
TEST_P(OwnerProbe, AsksEachPackageManagerInTurn)
{
    const OwnerRow &row = GetParam();
    test::TestHome home;
    home.setEnvironment("FLATPAK_ID", std::nullopt);
    home.setEnvironment("SNAP", std::nullopt);
    if (row.sandbox)
        home.setEnvironment(row.sandbox, QStringLiteral("org.example.Brevona"));
    QTemporaryDir folder;
    QList<PackageManagerProbe::Query> queries;
    for (qsizetype i = 0; i < row.scripts.size(); ++i) {
        const QString path = folder.filePath(QStringLiteral("query%1").arg(i));
        ASSERT_TRUE(test::writeFileBytes(path, "#!/bin/sh\necho \"$@\" >> \"$0.asked\"\n" +
                                                   row.scripts.at(i).toUtf8()));
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        queries.append({QStringLiteral("manager%1").arg(i), path, {QStringLiteral("-S")}});
    }
    queries.append({QStringLiteral("absent"), folder.filePath(QStringLiteral("not-installed")), {}});
    PackageManagerProbe probe(queries, 300);
    const QString program = folder.filePath(QStringLiteral("brevona-configurator"));
    const std::optional<QString> owner = probe.packageManager(program);
    EXPECT_EQ(owner, row.owner ? std::optional<QString>(QString::fromUtf8(row.owner)) : std::nullopt);
    if (!row.sandbox) {
        EXPECT_TRUE(test::fileBytes(folder.filePath(QStringLiteral("query0.asked")))
                        .startsWith("-S " + program.toUtf8()));
    }
}

// clang-format off
const OwnerRow kOwnerRows[] = {
    {.name = "FirstOwns",        .scripts = {"exit 0", "exit 0"},  .sandbox = nullptr, .owner = "manager0"},
    {.name = "SecondOwns",       .scripts = {"exit 1", "exit 0"},  .sandbox = nullptr, .owner = "manager1"},
    // Neither a program that hangs, nor one that fails, nor one not installed knows the file.
    {.name = "NobodyKnows",      .scripts = {"exec sleep 10", "exit 1"}, .sandbox = nullptr, .owner = nullptr},
    {.name = "Flatpak",          .scripts = {"exit 1"},            .sandbox = "FLATPAK_ID", .owner = "Flatpak"},
    {.name = "Snap",             .scripts = {"exit 1"},            .sandbox = "SNAP", .owner = "Snap"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, OwnerProbe, testing::ValuesIn(kOwnerRows), test::RowName());

} // namespace
