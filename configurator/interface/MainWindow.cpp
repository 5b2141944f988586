#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSizeGrip>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include "AppController.h"
#include "ApplicationCatalog.h"
#include "ConditionsPane.h"
#include "ControlButtonsPane.h"
#include "DisplayActionPane.h"
#include "EditorArea.h"
#include "ExchangeDialogs.h"
#include "FontColorPane.h"
#include "InterfaceLogging.h"
#include "KCConditionsManager.h"
#include "KCDisplayActionManager.h"
#include "KCDisplayActionTables.h"
#include "KCGroupLayer.h"
#include "KCKeyboardView.h"
#include "KCLayer.h"
#include "KCLayerManager.h"
#include "KCLayerPainter.h"
#include "KCSingleLayer.h"
#include "KeyboardViewEditor.h"
#include "LayerListModel.h"
#include "LayerListView.h"
#include "ModelNotifications.h"
#include "NotificationCenter.h"
#include "PluginTablesView.h"
#include "PluginToggleListener.h"
#include "PreferenceKeys.h"
#include "PreferencesController.h"
#include "PreferencesStore.h"
#include "PreferencesWindow.h"
#include "UpdatesPresenter.h"
#include "UpdatesWindow.h"

namespace brevona {

namespace {

using Outcome = KCLayerManager::Outcome;

constexpr int SplitSaveDelayMs = 300;
constexpr int InfoMessageMs = 6000;
constexpr int MinimumListWidth = 160;

QString counted(int count, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}

} // namespace

MainWindow::MainWindow(AppController &controller, PreferencesStore &preferences,
                       ApplicationsHelper &applications, LanguagesHelper &languages, QWidget *parent)
    : QMainWindow(parent)
    , m_controller(controller)
    , m_preferences(preferences)
    , m_applications(applications)
    , m_languages(languages)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(tr("Brevona Configurator"));
    setAccessibleName(tr("Brevona Configurator"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("brevona-configurator")));
    m_model = new LayerListModel(this);
    createActions();
    createMenus();
    createToolBar();
    createCentralArea();
    createStatusBar();
    createUpdatesWindow();
    resize(1100, 720);

    connect(m_model, &LayerListModel::editRefused, this, &MainWindow::showMessage);
    connect(&m_controller, &AppController::layerManagerAboutToReload, this, &MainWindow::detachManager);
    connect(&m_controller, &AppController::layerManagerReloaded, this, [this] {
        attachManager();
        managerChanged();
    });
    connect(&m_controller, &AppController::driverConnectionChanged, this,
            &MainWindow::driverConnectionChanged);
    connect(&m_preferences, &PreferencesStore::valueChanged, this, [this](const QString &key) {
        if (key == PreferenceKeys::DebugMode)
            m_model->setShowIdentifiers(m_preferences.boolValue(PreferenceKeys::DebugMode));
    });
    m_model->setShowIdentifiers(m_preferences.boolValue(PreferenceKeys::DebugMode));
    attachManager();
    driverConnectionChanged();
    updateActions();
}

MainWindow::~MainWindow()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    detachManager();
}

void MainWindow::showUpdates()
{
    m_updatesWindow->present(UpdatesWindow::SoftwarePage);
}

void MainWindow::showPreferences()
{
    if (!m_preferencesWindow) {
        m_preferencesController = std::make_unique<PreferencesController>(m_preferences, m_controller);
        m_preferencesWindow = new PreferencesWindow(m_preferences, *m_preferencesController,
                                                    ApplicationCatalog::instance(), this);
    }
    m_preferencesWindow->showPreferences();
}

void MainWindow::createCentralArea()
{
    m_list = new LayerListView(*m_model);
    m_list->setContextMenu(m_listMenu);
    m_list->setMinimumWidth(MinimumListWidth);
    connect(m_list, &LayerListView::selectionEdited, this, &MainWindow::selectionChanged);

    // The conditions under the list, as tall as their rows: the list takes the rest.
    auto *column = new QWidget;
    column->setObjectName(QStringLiteral("layersColumn"));
    auto *columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(0);
    columnLayout->addWidget(m_list, 1);
    m_conditionsPane = new ConditionsPane(column);
    connect(m_conditionsPane, &ConditionsPane::editRefused, this, &MainWindow::showMessage);
    columnLayout->addWidget(m_conditionsPane);

    m_editor = new EditorArea;
    m_keyboard = new KCKeyboardView;
    m_keyboard->setAccessibleName(tr("Keyboard"));
    m_editor->setKeyboardView(m_keyboard);
    m_keyEditor = std::make_unique<KeyboardViewEditor>();
    m_keyboard->setDelegate(m_keyEditor.get());
    m_keyEditor->setSelector([this](const QStringList &keys, bool alone) {
        if (alone)
            m_keyboard->deselectAll();
        for (const QString &key : keys)
            m_keyboard->selectButtonNamed(key, true);
        m_keyboard->setFocus();
    });
    m_displayPane = new DisplayActionPane;
    connect(m_displayPane, &DisplayActionPane::editRefused, this, &MainWindow::showMessage);
    // The plugin tables beside the menus: the pane takes the width the tables leave.
    m_pluginTables = new PluginTablesView;
    auto *displaySplit = new QSplitter(Qt::Horizontal);
    displaySplit->setObjectName(QStringLiteral("displayActionSplit"));
    displaySplit->setAccessibleName(tr("Display and action, and the plugins"));
    displaySplit->setChildrenCollapsible(false);
    displaySplit->addWidget(m_displayPane);
    displaySplit->addWidget(m_pluginTables);
    displaySplit->setStretchFactor(0, 1);
    displaySplit->setStretchFactor(1, 0);
    displaySplit->handle(1)->setAccessibleName(
        tr("Divider between the display and action page and the plugins"));
    m_editor->setPageContent(EditorArea::DisplayAndAction, displaySplit);
    m_fontPane = new FontColorPane;
    m_editor->setPageContent(EditorArea::LanguageOptions, m_fontPane);
    m_controlPane = new ControlButtonsPane;
    m_editor->setPageContent(EditorArea::ControlButtons, m_controlPane);
    connect(m_keyboard, &KCKeyboardView::selectionChanged, this, &MainWindow::keySelectionChanged);
    // A layer's picture is read when it is first shown, and plugins redraw keys while it shows.
    auto &center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::KCLayerRestoredImage, [this](Notification &notification) {
        const auto layer = m_model->manager() ? m_model->manager()->currentLayer() : nullptr;
        if (layer && notification.object().value<KCLayer *>() == layer.get())
            showCurrentLayer();
    });
    center.addObserver(this, notifications::KCButtonPluginUpdated, [this](Notification &notification) {
        const auto layer = m_model->manager() ? m_model->manager()->currentLayer() : nullptr;
        if (!layer || notification.object().value<KCLayer *>() != layer.get())
            return;
        const QVariantMap &info = notification.userInfo();
        m_keyboard->setDynamicImage(info.value(notifications::ImageKey).value<QImage>(),
                                    info.value(notifications::ButtonNameKey).toString());
    });

    m_mainSplit = new QSplitter(Qt::Horizontal, this);
    m_mainSplit->setObjectName(QStringLiteral("mainSplit"));
    m_mainSplit->setAccessibleName(tr("Layers and editor"));
    m_mainSplit->setChildrenCollapsible(false);
    m_mainSplit->addWidget(column);
    m_mainSplit->addWidget(m_editor);
    // On a window resize the list keeps its width and the editor takes the rest.
    m_mainSplit->setStretchFactor(0, 0);
    m_mainSplit->setStretchFactor(1, 1);
    m_mainSplit->handle(1)->setAccessibleName(tr("Divider between the layer list and the editor"));
    const int width = qMax(MinimumListWidth, int(m_preferences.realValue(PreferenceKeys::MainSplitViewSize)));
    m_mainSplit->setSizes({width, 100000});
    setCentralWidget(m_mainSplit);

    m_splitSave = new QTimer(this);
    m_splitSave->setSingleShot(true);
    m_splitSave->setInterval(SplitSaveDelayMs);
    connect(m_splitSave, &QTimer::timeout, this, &MainWindow::storeSplitWidth);
    connect(m_mainSplit, &QSplitter::splitterMoved, m_splitSave, qOverload<>(&QTimer::start));
}

void MainWindow::createStatusBar()
{
    statusBar()->setObjectName(QStringLiteral("statusLine"));
    statusBar()->setAccessibleName(tr("Status"));
    m_driverState = new QLabel(statusBar());
    m_driverState->setObjectName(QStringLiteral("driverState"));
    m_driverState->setAccessibleName(tr("Driver"));
    statusBar()->addPermanentWidget(m_driverState);
    for (QWidget *grip : statusBar()->findChildren<QSizeGrip *>())
        grip->setAccessibleName(tr("Resize the window"));
}

void MainWindow::attachManager()
{
    KCLayerManager &manager = m_controller.layerManager();
    m_model->setManager(&manager);
    m_stack = manager.undoStack();
    // Every edit, undo and redo moves the stack: the list shows the tree again after each.
    connect(m_stack, &QUndoStack::indexChanged, this, &MainWindow::managerChanged);
    connect(m_stack, &QUndoStack::undoTextChanged, this, &MainWindow::updateUndoActions);
    connect(m_stack, &QUndoStack::redoTextChanged, this, &MainWindow::updateUndoActions);
    m_pluginToggles = std::make_unique<PluginToggleListener>(manager);
    m_conditions = std::make_unique<KCConditionsManager>(manager, m_applications, m_languages);
    m_conditionsPane->setManager(m_conditions.get());
    m_fontPane->setLayerManager(&manager);
    m_controlPane->setLayerManager(&manager);
    // Untitled items go by their first condition.
    attachDisplayAction();
    m_model->setAutonamer(
        [this](const KCLayer &layer) {
            const QString name = m_conditions->autonameForLayer(layer);
            // The generic names say less than "Untitled Layer" and "Untitled Group".
            return name == QLatin1String("Layer") || name == QLatin1String("Group") ? QString() : name;
        },
        [this](const KCLayer &layer) { return m_conditions->customizedIconForGroup(layer); });
    connect(m_pluginToggles.get(), &PluginToggleListener::toggled, this, &MainWindow::managerChanged);
    m_painter = std::make_unique<KCLayerPainter>(manager, ApplicationCatalog::instance());
    if (!std::exchange(m_paintLeftoversRemoved, true))
        m_painter->removeLeftovers();
    connect(m_painter.get(), &KCLayerPainter::paintingRefused, this, &MainWindow::showMessage);
    connect(m_painter.get(), &KCLayerPainter::layerPainted, this, [this](const QString &identifier) {
        const auto layer = m_model->manager() ? m_model->manager()->findLayerByID(identifier) : nullptr;
        showMessage(tr("The painted keys of “%1” are in the layer").arg(layer ? layer->title() : identifier));
        QApplication::alert(this);
    });
    m_list->showManagerState();
    updateUndoActions();
}

void MainWindow::detachManager()
{
    if (m_stack)
        disconnect(m_stack, nullptr, this, nullptr);
    m_stack = nullptr;
    m_pluginToggles.reset();
    m_painter.reset();
    if (m_model) {
        m_model->setAutonamer({}, {});
        m_model->setManager(nullptr);
    }
    if (m_conditionsPane)
        m_conditionsPane->setManager(nullptr);
    m_conditions.reset();
    if (m_fontPane)
        m_fontPane->setLayerManager(nullptr);
    if (m_controlPane)
        m_controlPane->setLayerManager(nullptr);
    if (m_displayPane)
        m_displayPane->setManager(nullptr);
    if (m_keyEditor)
        m_keyEditor->setManager(nullptr);
    m_displayAction.reset();
}

void MainWindow::setPluginCatalogue(KCPluginManager *catalogue)
{
    m_catalogue = catalogue;
    m_pluginTables->setTables(nullptr);
    m_tables.reset();
    if (m_catalogue) {
        m_tables = std::make_unique<KCDisplayActionTables>(*m_catalogue, &m_preferences);
        m_tables->setKeyboardPreview(m_keyboard);
        connect(m_tables.get(), &KCDisplayActionTables::pasted, this,
                [this](KCDisplayActionManager::Outcome outcome, const QStringList &, const QString &error) {
                    if (outcome != KCDisplayActionManager::Outcome::Done)
                        showMessage(error);
                });
        m_pluginTables->setTables(m_tables.get());
        m_tables->prepare();
    }
    attachDisplayAction();
}

void MainWindow::attachDisplayAction()
{
    m_displayPane->setManager(nullptr);
    m_keyEditor->setManager(nullptr);
    m_displayAction.reset();
    if (!m_catalogue || !m_model->manager())
        return;
    m_displayAction =
        std::make_unique<KCDisplayActionManager>(*m_model->manager(), *m_catalogue, m_controller);
    m_displayPane->setManager(m_displayAction.get());
    m_keyEditor->setManager(m_displayAction.get());
    if (m_tables)
        m_tables->setDisplayActionManager(m_displayAction.get());
    keySelectionChanged();
}

void MainWindow::keySelectionChanged()
{
    m_fontPane->setSelectedKeys(m_keyboard->selectedButtons());
    m_controlPane->setSelectedKeys(m_keyboard->selectedButtons());
    if (!m_displayAction)
        return;
    const KCLayerManager *manager = m_model->manager();
    const auto layer = manager ? manager->currentLayer() : nullptr;
    const bool oneLayer = layer && !layer->isGroup() && manager->selection().size() == 1;
    m_displayPane->commitSettingsViews();
    m_displayAction->setSelection(oneLayer ? layer->UUID() : QString(),
                                  oneLayer ? m_keyboard->selectedButtons() : QStringList());
}

void MainWindow::showStartResult(bool loaded)
{
    managerChanged();
    if (!loaded)
        showMessage(m_controller.layerManager().lastError());
}

void MainWindow::managerChanged()
{
    if (!m_model->manager())
        return;
    m_model->refresh();
    m_list->showManagerState();
    selectionChanged();
    updateUndoActions();
}

void MainWindow::selectionChanged()
{
    switch (m_controller.editorPane()) {
    case AppController::EditorPane::DisplayAndAction:
        m_editor->showPage(EditorArea::DisplayAndAction);
        break;
    case AppController::EditorPane::LanguageOptions:
        m_editor->showPage(EditorArea::LanguageOptions);
        break;
    case AppController::EditorPane::ControlButtons:
        m_editor->showPage(EditorArea::ControlButtons);
        break;
    }
    m_fontPane->setActive(m_editor->currentPage() == EditorArea::LanguageOptions);
    m_controlPane->setActive(m_editor->currentPage() == EditorArea::ControlButtons);
    m_editor->setSelectionSummary(selectionSummary());
    if (m_conditions)
        m_conditions->rebuildConditionsTable();
    showCurrentLayer();
    updateActions();
}

void MainWindow::showCurrentLayer()
{
    const KCLayerManager *manager = m_model->manager();
    const auto layer = manager ? manager->currentLayer() : nullptr;
    const bool oneLayer = layer && !layer->isGroup() && manager->selection().size() == 1;
    if (!oneLayer) {
        m_keyboard->removeButtonImages();
        m_keyboard->setCanChangeButtons(false);
        m_keyboard->setMessage(layer && layer->isGroup() ? tr("A group") : tr("No layer"),
                               tr("Select one layer to see its keys."));
        keySelectionChanged();
        return;
    }
    m_keyboard->setMessage(QString());
    m_keyboard->setCanChangeButtons(dynamic_cast<KCSingleLayer *>(layer.get()) != nullptr);
    m_keyboard->showLayer(*layer);
    keySelectionChanged();
}

QString MainWindow::selectionSummary() const
{
    const KCLayerManager *manager = m_model->manager();
    if (!manager || !manager->rootGroup())
        return tr("The layer store is not loaded.");
    const QStringList &selection = manager->selection();
    if (selection.isEmpty())
        return tr("No layer is selected: choose a layer to edit.");
    if (selection.size() > 1)
        return tr("%n rows are selected; the keyboard shows them composed.", nullptr, int(selection.size()));
    const auto layer = manager->currentLayer();
    if (!layer)
        return {};
    const QString title = layer->title().isEmpty() ? tr("untitled") : layer->title();
    if (layer->staticLayer())
        return tr("Background layer “%1”.").arg(title);
    if (layer->isGroup())
        return tr("Group “%1” with %2; groups cannot be edited.")
            .arg(title,
                 counted(static_cast<const KCGroupLayer &>(*layer).count(), tr("layer"), tr("layers")));
    const auto *single = static_cast<const KCSingleLayer *>(layer.get());
    QString text = tr("Layer “%1”: %2").arg(title, counted(single->numberOfButtons(), tr("key"), tr("keys")));
    text += layer->enabled() ? tr(", on") : tr(", off");
    if (single->hybrid())
        text += tr(", hybrid");
    return text + QLatin1Char('.');
}

void MainWindow::report(int outcome)
{
    const KCLayerManager *manager = m_model->manager();
    if (static_cast<Outcome>(outcome) == Outcome::Done || !manager)
        statusBar()->clearMessage();
    else
        showMessage(manager->lastError());
}

void MainWindow::showMessage(const QString &message)
{
    if (!message.isEmpty())
        qCInfo(lcInterface).noquote() << message;
    statusBar()->showMessage(message);
}

void MainWindow::newLayer()
{
    if (KCLayerManager *manager = m_model->manager()) {
        report(static_cast<int>(manager->createNewLayer()));
        m_list->setFocus();
    }
}

void MainWindow::newGroup()
{
    if (KCLayerManager *manager = m_model->manager()) {
        report(static_cast<int>(manager->createNewGroup()));
        m_list->setFocus();
    }
}

void MainWindow::newItemWithCondition(bool group, const QString &type)
{
    if (!m_conditions)
        return;
    if (m_conditions->createItemWithCondition(group, type))
        statusBar()->clearMessage();
    else
        showMessage(m_conditions->lastError());
    m_list->setFocus();
}

void MainWindow::deleteSelection()
{
    KCLayerManager *manager = m_model->manager();
    if (!manager)
        return;
    const Outcome outcome = manager->deleteSelection();
    report(static_cast<int>(outcome));
    // A refused or cancelled delete leaves the tree as it was; the selection is shown again.
    if (outcome != Outcome::Done)
        managerChanged();
}

void MainWindow::renameSelection()
{
    const KCLayerManager *manager = m_model->manager();
    if (!manager || !manager->currentLayer())
        return;
    const QModelIndex index = m_model->indexOf(manager->currentLayer()->UUID());
    if (!index.isValid() || !(m_model->flags(index) & Qt::ItemIsEditable))
        return;
    m_list->setFocus();
    m_list->setCurrentIndex(index);
    m_list->edit(index);
}

void MainWindow::toggleHybrid(bool hybrid)
{
    KCLayerManager *manager = m_model->manager();
    if (!manager || !manager->currentLayer())
        return;
    report(static_cast<int>(manager->setHybrid(manager->currentLayer()->UUID(), hybrid)));
    updateActions();
}

void MainWindow::undo()
{
    if (KCLayerManager *manager = m_model->manager())
        report(static_cast<int>(manager->undo()));
}

void MainWindow::redo()
{
    if (KCLayerManager *manager = m_model->manager())
        report(static_cast<int>(manager->redo()));
}

void MainWindow::openFiles(const QStringList &files)
{
    for (const QString &file : files) {
        const AppController::Result result = m_controller.openFile(file);
        if (!result.ok)
            qCWarning(lcInterface).noquote() << result.message;
        statusBar()->showMessage(result.message);
    }
}

void MainWindow::openFromDialog()
{
    const QStringList files =
        QFileDialog::getOpenFileNames(this, tr("Open a Picture as a New Layer"), QString(),
                                      tr("Pictures (*.png *.tif *.tiff *.jpg *.jpeg *.bmp);;All files (*)"));
    openFiles(files);
}

void MainWindow::backUp()
{
    const AppController::Result result = m_controller.backupLayers();
    showMessage(result.message);
}

void MainWindow::restore()
{
    const auto answer = QMessageBox::question(
        this, tr("Restore Layers"),
        tr("Replace every layer with the backup? The current layers are lost; the driver is restarted."),
        QMessageBox::Cancel | QMessageBox::Yes, QMessageBox::Cancel);
    if (answer != QMessageBox::Yes)
        return;
    const AppController::Result result = m_controller.restoreLayers();
    showMessage(result.message);
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About Brevona Configurator"),
                       tr("<h3>Brevona Configurator</h3><p>Version %1</p>"
                          "<p>Designs the layers of the keyboard's key displays: pictures, plugins and "
                          "the conditions under which each layer shows.</p>")
                           .arg(QApplication::applicationVersion().toHtmlEscaped()));
}

QString MainWindow::driverState() const
{
    return m_driverState->text();
}

void MainWindow::driverConnectionChanged()
{
    DriverLink &link = m_controller.driverLink();
    if (link.isConnected())
        m_driverState->setText(tr("Driver running: the keyboard follows every edit"));
    else if (!link.isBusConnected())
        m_driverState->setText(tr("No session bus: the keyboard will follow when the driver runs"));
    else
        m_driverState->setText(tr("No driver: the keyboard will follow when the driver runs"));
    m_driverState->setAccessibleDescription(m_driverState->text());
}

void MainWindow::storeSplitWidth()
{
    const QList<int> sizes = m_mainSplit->sizes();
    if (!sizes.isEmpty() && sizes.first() > 0)
        m_preferences.setValue(PreferenceKeys::MainSplitViewSize, double(sizes.first()));
}

void MainWindow::raiseWindow()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_splitSave->isActive()) {
        m_splitSave->stop();
        storeSplitWidth();
    }
    if (KCLayerManager *manager = m_model->manager())
        manager->flushPictureSaves();
    event->accept();
}

} // namespace brevona
