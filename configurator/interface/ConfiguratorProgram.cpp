#include "ConfiguratorProgram.h"

#include <cstdio>

#include <QCoreApplication>

#include "AppController.h"
#include "ApplicationsHelper.h"
#include "CommandLine.h"
#include "DeleteConfirmationDialog.h"
#include "InterfaceLogging.h"
#include "KCPluginManager.h"
#include "KeyboardLayouts.h"
#include "LanguageKeyTranslator.h"
#include "LanguagesHelper.h"
#include "MainWindow.h"
#include "PreferencesStore.h"
#include "SingleInstance.h"
#include "linux/SystemdDriverLauncher.h"

namespace brevona {

ConfiguratorProgram::ConfiguratorProgram() = default;

ConfiguratorProgram::~ConfiguratorProgram()
{
    // The window refers to the controller, the controller to the confirmation.
    m_window.reset();
    m_controller.reset();
    if (m_plugins)
        KCPluginHost::setInstance(nullptr);
}

std::optional<int> ConfiguratorProgram::start(const QStringList &arguments)
{
    const CommandLine::Result line = CommandLine::parse(arguments, QCoreApplication::applicationVersion());
    if (line.action == CommandLine::Action::Print) {
        std::fputs(qPrintable(line.text), stdout);
        return 0;
    }
    if (line.action == CommandLine::Action::Invalid) {
        std::fputs(qPrintable(line.text), stderr);
        return 2;
    }

    m_instance = std::make_unique<SingleInstance>();
    if (m_instance->claim(line.files) == SingleInstance::Role::HandedOver) {
        qCInfo(lcInterface) << "The running configurator took over" << line.files.size() << "file(s)";
        return 0;
    }

    AppController::Environment environment = AppController::installedEnvironment();
    LanguagesHelper &languages = LanguagesHelper::shared();
    for (const int identifier : languages.availableLanguageIDs())
        environment.languages.append(
            {identifier, languages.layoutForID(identifier), languages.languageNameForID(identifier)});
    environment.translator = std::make_shared<LanguageKeyTranslator>(KeyboardLayouts::instance());
    environment.currentLanguageID = languages.currentLanguageID();

    // The keys' display plugins run here as on the keyboard, from the same bundles.
    m_plugins = std::make_unique<KCPluginManager>();
    KCPluginHost::setInstance(m_plugins.get());
    m_launcher = std::make_unique<SystemdDriverLauncher>();
    m_confirmation = std::make_unique<DeleteConfirmationDialog>();
    m_controller = std::make_unique<AppController>(environment, PreferencesStore::shared(), *m_launcher,
                                                   m_confirmation.get());
    m_window = std::make_unique<MainWindow>(*m_controller, PreferencesStore::shared(),
                                            ApplicationsHelper::shared(), languages);
    m_window->setPluginCatalogue(m_plugins.get());
    m_confirmation->setParentWidget(m_window.get());
    connect(m_instance.get(), &SingleInstance::filesReceived, m_window.get(), &MainWindow::openFiles);
    connect(m_instance.get(), &SingleInstance::raiseRequested, m_window.get(), &MainWindow::raiseWindow);

    const bool loaded = m_controller->start();
    m_window->showStartResult(loaded);
    m_window->show();
    qCInfo(lcInterface) << "Main window shown";
    if (!line.files.isEmpty())
        m_window->openFiles(line.files);
    return std::nullopt;
}

} // namespace brevona
