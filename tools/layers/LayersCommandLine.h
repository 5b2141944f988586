#pragma once

#include <memory>

#include <QString>
#include <QStringList>
#include <QTextStream>

#include "DriverCommandSink.h"
#include "LayersSubcommands.h"

namespace brevona {

class DriverLink;
class KCLayerManager;
class PreferencesStore;

// brevona-layers as a whole: global options, the batch file, and the layer manager on the user's
// layer store, loaded once per run. Commands for the driver go to the running BrevonaDriver over
// the session bus (none when no driver runs: it reads the store when it starts).
class LayersCommandLine : public DriverCommandSink
{
public:
    // Standard output and error; the store in the user's data folder; the session's driver.
    LayersCommandLine();
    // For tests: the given streams, store folder and command sink.
    LayersCommandLine(QTextStream &out, QTextStream &err, const QString &storeRoot,
                      DriverCommandSink *driver);
    ~LayersCommandLine() override;

    // `arguments` without the program name. Returns the exit status.
    int run(const QStringList &arguments);

    // Keeps the components' log off standard error (main() calls it before Qt starts talking).
    static void quietLog();

    void sendCommand(const QString &command, const QVariantMap &info) override;

private:
    int runLine(QStringList arguments, bool inBatch);
    int runBatch(const QString &source);
    int runFirmware(const QStringList &arguments);
    // Loads the store on first use; false (with its line on standard error) when it cannot be.
    bool load(bool readsOnly);
    int finish(int status);

    QTextStream m_stdout;
    QTextStream m_stderr;
    QTextStream &m_out;
    QTextStream &m_err;
    QString m_storeRoot;
    DriverCommandSink *m_driver = nullptr;
    std::unique_ptr<DriverLink> m_link;
    LayersSubcommands::Confirmation m_confirmation;
    std::unique_ptr<KCLayerManager> m_manager;
    std::unique_ptr<LayersSubcommands> m_subcommands;
    std::unique_ptr<PreferencesStore> m_preferences;
    bool m_plist = false;
};

} // namespace brevona
