#pragma once

#include <memory>
#include <optional>

#include <QObject>
#include <QStringList>

namespace brevona {

class AppController;
class DeleteConfirmationDialog;
class DriverLauncher;
class KCPluginManager;
class MainWindow;
class SingleInstance;

// The configurator program from its command line to its window: --help and --version, the
// single-instance rule (a second start hands its files to the first and ends), the installed
// environment with the input languages, the application controller's start-up and the window.
// Nothing fails hard: an unreadable store, a missing driver or session bus, or files of the
// wrong kind each end up as one line on the status line and in the log.
class ConfiguratorProgram : public QObject
{
    Q_OBJECT
public:
    ConfiguratorProgram();
    ~ConfiguratorProgram() override;

    // Runs everything up to the window shown. An exit status when the program ends here (help,
    // version, bad arguments, files handed over); nothing when the event loop should run.
    std::optional<int> start(const QStringList &arguments);

    MainWindow *window() const { return m_window.get(); }
    AppController *controller() const { return m_controller.get(); }

private:
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<KCPluginManager> m_plugins;
    std::unique_ptr<DriverLauncher> m_launcher;
    std::unique_ptr<DeleteConfirmationDialog> m_confirmation;
    std::unique_ptr<AppController> m_controller;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace brevona
