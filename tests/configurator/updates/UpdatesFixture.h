#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QSignalSpy>

#include "InstallationOwner.h"
#include "KCSoftwareUpdates.h"
#include "LoopbackHttpServer.h"
#include "PreferencesStore.h"
#include "TestHome.h"
#include "TestSigningKey.h"
#include "Wait.h"

// What the tests of the software updates share: version lists, a fake owner of the installation,
// and the updates object on a temporary home against the loopback server.
namespace brevona::test::updates {

using Response = LoopbackHttpServer::Reply;

inline constexpr int kTimeoutMs = 300;
inline const QString kPackageName = QStringLiteral("brevona-1.6.tgz");

inline QByteArray versionList(const QByteArray &version, const QByteArray &filename = "brevona-1.6.tgz")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Configurator</key>"
           "<dict><key>Version</key><string>" +
           version + "</string><key>Filename</key><string>" + filename + "</string></dict></dict></plist>\n";
}

inline Response listResponse(const QByteArray &version)
{
    return Response{.contentType = "text/xml", .body = versionList(version)};
}

class FakeOwner : public InstallationOwner
{
public:
    std::optional<QString> packageManager(const QString &program) override
    {
        asked.append(program);
        return manager;
    }
    std::optional<QString> manager;
    QStringList asked;
};

// The updates object on a temporary home, against the loopback server, with the test's key,
// a fake owner and recorded program starts and opened pages.
class UpdatesFixture
{
public:
    // The server offers 1.6 until a test says otherwise.
    UpdatesFixture()
        : preferences(home.configHome() + QStringLiteral("/preferences.plist"))
    {
        server.route("/versions.xml", listResponse("1.6"));
    }

    KCSoftwareUpdates &make(const std::function<void(KCSoftwareUpdates::Options &)> &adjust = {})
    {
        KCSoftwareUpdates::Options options;
        options.baseUrl = server.url();
        options.installedVersion = QStringLiteral("1.5");
        options.program = QStringLiteral("/opt/brevona/bin/brevona-configurator");
        options.driverPath = QStringLiteral("/opt/brevona/bin/BrevonaDriver");
        options.downloadPage = QUrl(QStringLiteral("https://example.invalid/download"));
        options.updaterProgram = QStringLiteral("/bin/true");
        options.publicKey = key.publicKey();
        options.owner = owner;
        options.openUrl = [this](const QUrl &url) {
            opened.append(url);
            return true;
        };
        options.startProgram = [this](const QString &program, const QStringList &arguments) {
            started.append(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
            return true;
        };
        options.allowLoopbackHttp = true;
        options.requestTimeoutMs = kTimeoutMs;
        if (adjust)
            adjust(options);
        updates = std::make_unique<KCSoftwareUpdates>(options, preferences);
        return *updates;
    }

    // Runs one check to its end; false when it never ended.
    bool check()
    {
        QSignalSpy finished(updates.get(), &KCSoftwareUpdates::checkFinished);
        QSignalSpy failed(updates.get(), &KCSoftwareUpdates::checkFailed);
        updates->checkForUpdates();
        return waitUntil([&] { return finished.count() + failed.count() > 0; });
    }

    TestHome home;
    PreferencesStore preferences;
    LoopbackHttpServer server;
    TestSigningKey key;
    std::shared_ptr<FakeOwner> owner = std::make_shared<FakeOwner>();
    QList<QUrl> opened;
    QStringList started;
    std::unique_ptr<KCSoftwareUpdates> updates;
};

} // namespace brevona::test::updates
