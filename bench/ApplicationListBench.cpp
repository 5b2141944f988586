// The installed-applications list over 300 desktop entries shaped like a desktop's own (localised
// names and comments, actions, an Exec line to resolve on PATH):
// - BM_ReadDesktopEntries: one reading of the folders, as the background scan does it (target:
//   below 100 ms);
// - BM_HelperScanToNotification: from asking the helper for a new scan until its notification
//   arrives on the main thread, with the longest time the main thread was held up meanwhile.
#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "ApplicationsHelper.h"
#include "FakeApplicationMonitor.h"
#include "NotificationCenter.h"
#include "PreferencesStore.h"
#include "SystemNotificationNames.h"
#include "linux/XdgApplicationCatalog.h"

using namespace brevona;

namespace {

constexpr int kEntries = 300;
const char *const kLanguages[] = {"de", "fr", "es", "it", "ja", "pt_BR", "ru", "zh_CN", "sv", "nl"};

QByteArray desktopEntry(int n)
{
    QByteArray text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += "Name=Application " + QByteArray::number(n) + "\n";
    text += "GenericName=Tool\nComment=Does things number " + QByteArray::number(n) + "\n";
    for (const char *language : kLanguages) {
        text += QByteArray("Name[") + language + "]=Anwendung " + QByteArray::number(n) + "\n";
        text += QByteArray("Comment[") + language + "]=Macht Dinge\n";
    }
    text += "Exec=sh -c 'true' %U\nTryExec=sh\nIcon=application-" + QByteArray::number(n) + "\n";
    text += "Terminal=false\nCategories=Utility;\nMimeType=text/plain;image/png;\n";
    text += n % 10 == 0 ? "NoDisplay=true\n" : "";
    text += "\n[Desktop Action new]\nName=New Window\nExec=sh -c 'true'\n";
    return text;
}

class Entries
{
public:
    Entries()
    {
        QDir().mkpath(folder());
        for (int n = 0; n < kEntries; ++n) {
            QFile file(QDir(folder()).filePath(QStringLiteral("org.example.app%1.desktop").arg(n)));
            if (file.open(QIODevice::WriteOnly))
                file.write(desktopEntry(n));
        }
    }
    QString folder() const { return m_dir.filePath(QStringLiteral("applications")); }
    QString cache() const { return m_dir.filePath(QStringLiteral("cache")); }
    QString preferences() const { return m_dir.filePath(QStringLiteral("prefs.plist")); }

private:
    QTemporaryDir m_dir;
};

void BM_ReadDesktopEntries(benchmark::State &state)
{
    Entries entries;
    XdgApplicationCatalog catalog({entries.folder()}, QStringLiteral("de_DE.UTF-8"));
    for (auto _ : state) {
        const auto applications = catalog.installedApplications();
        benchmark::DoNotOptimize(applications.data());
        state.counters["applications"] = double(applications.size());
    }
}
BENCHMARK(BM_ReadDesktopEntries)->Unit(benchmark::kMillisecond);

void BM_HelperScanToNotification(benchmark::State &state)
{
    Entries entries;
    XdgApplicationCatalog catalog({entries.folder()}, QStringLiteral("de_DE.UTF-8"));
    FakeApplicationMonitor monitor;
    PreferencesStore preferences(entries.preferences());
    int posts = 0;
    NotificationCenter::defaultCenter().addObserver(&posts, notifications::ApplicationsHelperDidUpdateList,
                                                    [&posts](Notification &) { ++posts; });
    ApplicationsHelper helper(catalog, monitor, preferences, entries.cache());
    while (posts == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The main thread keeps running its timers during the scan: the longest gap between two ticks
    // of a 1 ms timer is how long it was held up.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    for (auto _ : state) {
        const int before = posts;
        sinceTick.start();
        ticker.start();
        helper.updateInstalledApplicationsList();
        while (posts == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ticker.stop();
    }
    state.counters["longest_main_thread_gap_ms"] = double(longestGap) / 1e6;
    NotificationCenter::defaultCenter().removeObserver(&posts);
}
BENCHMARK(BM_HelperScanToNotification)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
