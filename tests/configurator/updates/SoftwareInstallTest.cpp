#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "PropertyList.h"
#include "TestPrinters.h"
#include "UpdatesFixture.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test::updates;

namespace {

const QByteArray kPackage = QByteArray("brevona 1.6 package\n").repeated(5000);

enum class Outcome
{
    Managed,
    HandedOff,
    Failed,
};

enum class Sig
{
    Good,      // the package's own signature
    Missing,   // 404
    Oversized, // more than any signature
};

struct InstallRow
{
    const char *name;
    const char *serverVersion = "1.6";
    const char *manager = nullptr; // a package manager owns the installation
    Response package = {.body = kPackage};
    Sig signature = Sig::Good;
    bool allowHttp = true;
    bool updater = true;
    qint64 maxPackageBytes = KCSoftwareUpdates::kMaxPackageBytes;
    Outcome outcome = Outcome::HandedOff;
    const char *message = nullptr; // the failure's or the manager's line, as it starts
};

class UpdateInstall : public testing::TestWithParam<InstallRow>
{
};

TEST_P(UpdateInstall, StartsNothingUnverified)
{
    const InstallRow &row = GetParam();
    UpdatesFixture fixture;
    if (row.manager)
        fixture.owner->manager = QString::fromUtf8(row.manager);
    fixture.server.route("/versions.xml", listResponse(row.serverVersion));
    fixture.server.route("/data/" + kPackageName.toUtf8(), row.package);
    if (row.signature != Sig::Missing) {
        const QByteArray signature =
            row.signature == Sig::Good ? fixture.key.sign(kPackage) : QByteArray(4096, 'A');
        fixture.server.route("/data/" + kPackageName.toUtf8() + ".sig", Response{.body = signature});
    }
    KCSoftwareUpdates &updates = fixture.make([&](auto &options) {
        options.allowLoopbackHttp = row.allowHttp;
        options.maxPackageBytes = row.maxPackageBytes;
        if (!row.updater)
            options.updaterProgram.clear();
    });
    ASSERT_TRUE(fixture.check());
    QSignalSpy managed(&updates, &KCSoftwareUpdates::installManaged);
    QSignalSpy handedOff(&updates, &KCSoftwareUpdates::installHandedOff);
    QSignalSpy failed(&updates, &KCSoftwareUpdates::installFailed);
    test::LogCapture log({QStringLiteral("brevona.configurator.updates")});
    updates.performUpdate();
    ASSERT_TRUE(test::waitUntil([&] { return managed.count() + handedOff.count() + failed.count() > 0; }));
    test::settle(std::chrono::milliseconds(0));
    EXPECT_FALSE(updates.isInstalling());

    const QString folder = fixture.home.runtimeDir() + QStringLiteral("/brevona/updater");
    switch (row.outcome) {
    case Outcome::Managed:
        ASSERT_EQ(managed.count(), 1);
        EXPECT_TRUE(managed.at(0).at(0).toString().startsWith(QString::fromUtf8(row.message)))
            << managed.at(0).at(0).toString().toStdString();
        EXPECT_EQ(fixture.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.invalid/download"))});
        EXPECT_EQ(fixture.server.requestCount("/data/" + kPackageName.toUtf8()), 0);
        break;
    case Outcome::HandedOff: {
        ASSERT_EQ(handedOff.count(), 1) << failed.value(0).value(0).toString().toStdString();
        EXPECT_EQ(handedOff.at(0).at(0).toString(), folder);
        EXPECT_EQ(QFileInfo(folder).permissions() & 0x0077, 0) << "private to the user";
        QFile package(folder + QLatin1Char('/') + kPackageName);
        ASSERT_TRUE(package.open(QIODevice::ReadOnly));
        EXPECT_EQ(package.readAll(), kPackage);
        const auto handOff = PropertyList::readDictionary(folder + QStringLiteral("/updates.plist"));
        ASSERT_TRUE(handOff.has_value());
        EXPECT_EQ(handOff->value(QStringLiteral("ConfiguratorPath")).toString(),
                  QStringLiteral("/opt/brevona/bin/brevona-configurator"));
        EXPECT_EQ(handOff->value(QStringLiteral("DriverPath")).toString(),
                  QStringLiteral("/opt/brevona/bin/BrevonaDriver"));
        const QVariantMap info = handOff->value(QStringLiteral("UpdateInfo")).toList().value(0).toMap();
        EXPECT_EQ(info.value(QStringLiteral("Name")).toString(), QStringLiteral("Lumivox Software"));
        EXPECT_EQ(info.value(QStringLiteral("DownloadPath")).toString(),
                  fixture.server.url("/data/" + kPackageName.toUtf8()).toString());
        EXPECT_EQ(info.value(QStringLiteral("InstallPath")).toString(), QStringLiteral("/opt/brevona/bin"));
        EXPECT_EQ(info.value(QStringLiteral("PackagePath")).toString(), package.fileName());
        EXPECT_EQ(fixture.started,
                  QStringList{QStringLiteral("/bin/true ") + folder + QStringLiteral("/updates.plist")});
        break;
    }
    case Outcome::Failed:
        ASSERT_EQ(failed.count(), 1);
        EXPECT_TRUE(failed.at(0).at(0).toString().startsWith(QString::fromUtf8(row.message)))
            << failed.at(0).at(0).toString().toStdString();
        EXPECT_EQ(log.count(QStringLiteral("The update cannot be installed: ")), 1);
        EXPECT_TRUE(fixture.started.isEmpty()) << "nothing is started";
        EXPECT_FALSE(QFileInfo::exists(folder + QLatin1Char('/') + kPackageName))
            << "nothing is left to start";
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/updates.plist")));
        break;
    }
}

// clang-format off
const InstallRow kInstallRows[] = {
    {.name = "Verified"},
    {.name = "PackageManagerOwnsIt", .manager = "dpkg", .outcome = Outcome::Managed, .message = "This installation belongs to dpkg"},
    {.name = "TamperedPackage", .package = {.body = QByteArray(kPackage).replace("1.6", "6.6")}, .outcome = Outcome::Failed, .message = "the package's signature does not match the release key"},
    {.name = "NoSignature", .signature = Sig::Missing, .outcome = Outcome::Failed, .message = "the server answered 404 Not Found for brevona-1.6.tgz.sig"},
    {.name = "OversizedSignature", .signature = Sig::Oversized, .outcome = Outcome::Failed, .message = "the answer for brevona-1.6.tgz.sig is larger than 1024 bytes"},
    {.name = "OversizedPackage", .maxPackageBytes = 1000, .outcome = Outcome::Failed, .message = "the answer for brevona-1.6.tgz is larger than 1000 bytes"},
    {.name = "PlainHttpRefused", .allowHttp = false, .outcome = Outcome::Failed, .message = "packages are fetched over HTTPS only"},
    {.name = "NoUpdaterInstalled", .updater = false, .outcome = Outcome::Failed, .message = "the package is verified, but no updater program is installed"},
    {.name = "NothingNewer", .serverVersion = "1.5", .outcome = Outcome::Failed, .message = "no update is available"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, UpdateInstall, testing::ValuesIn(kInstallRows), test::RowName());

// A failed attempt leaves nothing, and a later one starts from an empty folder.
TEST(UpdateInstall, RetryAfterAFailureStartsClean)
{
    UpdatesFixture fixture;
    fixture.server.route("/data/" + kPackageName.toUtf8(), Response{.body = kPackage});
    fixture.server.route("/data/" + kPackageName.toUtf8() + ".sig", Response{.body = QByteArray(64, '\x01')});
    KCSoftwareUpdates &updates = fixture.make();
    ASSERT_TRUE(fixture.check());
    QSignalSpy failed(&updates, &KCSoftwareUpdates::installFailed);
    QSignalSpy handedOff(&updates, &KCSoftwareUpdates::installHandedOff);
    updates.performUpdate();
    ASSERT_TRUE(test::waitUntil([&] { return failed.count() == 1; }));
    fixture.server.route("/data/" + kPackageName.toUtf8() + ".sig",
                         Response{.body = fixture.key.sign(kPackage)});
    updates.performUpdate();
    ASSERT_TRUE(test::waitUntil([&] { return handedOff.count() == 1; }));
    const QStringList left = QDir(handedOff.at(0).at(0).toString()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, (QStringList{kPackageName, QStringLiteral("updates.plist")}));
}

} // namespace
