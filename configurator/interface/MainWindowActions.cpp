#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>

#include "AppController.h"
#include "ApplicationCatalog.h"
#include "ExchangeDialogs.h"
#include "KCLayerPainter.h"
#include "PaintUsingDialog.h"
#include "KCConditionsManager.h"
#include "KCGroupLayer.h"
#include "KCLayer.h"
#include "KCLayerManager.h"
#include "KCSingleLayer.h"
#include "LayerListModel.h"
#include "LayerListView.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "PreferencesWindow.h"
#include "UpdatesPresenter.h"
#include "UpdatesWindow.h"

// The window's actions, menus and toolbar, and when each action is offered.
namespace brevona {

namespace {

// A theme icon where the desktop has one, else the style's.
QIcon icon(const char *theme, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(theme), QApplication::style()->standardIcon(fallback));
}

// The shortcuts of a standard key, with `extra` added when the platform's list lacks it (the
// offscreen and some desktop schemes bind Redo to Ctrl+Y only).
QList<QKeySequence> shortcuts(QKeySequence::StandardKey key, const QKeySequence &extra = {})
{
    QList<QKeySequence> list = QKeySequence::keyBindings(key);
    if (!extra.isEmpty() && !list.contains(extra))
        list.prepend(extra);
    return list;
}

} // namespace

void MainWindow::createActions()
{
    const auto make = [this](const QString &text, const QString &name) {
        auto *action = new QAction(text, this);
        action->setObjectName(name);
        return action;
    };
    m_newLayer = make(tr("New Layer"), QStringLiteral("NewLayer"));
    m_newLayer->setIcon(icon("document-new", QStyle::SP_FileIcon));
    m_newLayer->setShortcuts(QKeySequence::New);
    m_newLayer->setToolTip(tr("Create a layer after the selected one"));
    connect(m_newLayer, &QAction::triggered, this, &MainWindow::newLayer);

    m_newGroup = make(tr("New Group"), QStringLiteral("NewGroup"));
    m_newGroup->setIcon(icon("folder-new", QStyle::SP_FileDialogNewFolder));
    m_newGroup->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    m_newGroup->setToolTip(tr("Create a group after the selected item"));
    connect(m_newGroup, &QAction::triggered, this, &MainWindow::newGroup);

    m_delete = make(tr("Delete"), QStringLiteral("DeleteLayer"));
    m_delete->setIcon(icon("edit-delete", QStyle::SP_TrashIcon));
    m_delete->setShortcuts(QKeySequence::Delete);
    m_delete->setToolTip(tr("Delete the selected layers and groups"));
    connect(m_delete, &QAction::triggered, this, &MainWindow::deleteSelection);

    m_rename = make(tr("Rename"), QStringLiteral("Rename"));
    m_rename->setShortcut(QKeySequence(Qt::Key_F2));
    // The list renames on F2 itself; the action serves the menus and a focus elsewhere.
    m_rename->setShortcutContext(Qt::WindowShortcut);
    connect(m_rename, &QAction::triggered, this, &MainWindow::renameSelection);

    m_hybrid = make(tr("Hybrid"), QStringLiteral("Hybrid"));
    m_hybrid->setCheckable(true);
    m_hybrid->setToolTip(tr("Show the layer's keys in the quarters of the hybrid zones"));
    connect(m_hybrid, &QAction::triggered, this, &MainWindow::toggleHybrid);

    m_undo = make(tr("Undo"), QStringLiteral("Undo"));
    m_undo->setIcon(icon("edit-undo", QStyle::SP_ArrowBack));
    m_undo->setShortcuts(shortcuts(QKeySequence::Undo, QKeySequence(Qt::CTRL | Qt::Key_Z)));
    connect(m_undo, &QAction::triggered, this, &MainWindow::undo);
    m_redo = make(tr("Redo"), QStringLiteral("Redo"));
    m_redo->setIcon(icon("edit-redo", QStyle::SP_ArrowForward));
    m_redo->setShortcuts(shortcuts(QKeySequence::Redo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
    connect(m_redo, &QAction::triggered, this, &MainWindow::redo);

    m_open = make(tr("Open…"), QStringLiteral("Open"));
    m_open->setShortcuts(QKeySequence::Open);
    m_open->setToolTip(tr("Open a keyboard-sized picture as a new layer"));
    connect(m_open, &QAction::triggered, this, &MainWindow::openFromDialog);
    m_backup = make(tr("Back Up Layers"), QStringLiteral("BackupLayers"));
    connect(m_backup, &QAction::triggered, this, &MainWindow::backUp);
    m_restore = make(tr("Restore Layers from Backup…"), QStringLiteral("RestoreLayers"));
    connect(m_restore, &QAction::triggered, this, &MainWindow::restore);
    m_quit = make(tr("Quit"), QStringLiteral("Quit"));
    m_quit->setShortcuts(QKeySequence::Quit);
    m_quit->setMenuRole(QAction::QuitRole);
    connect(m_quit, &QAction::triggered, this, &QWidget::close);
    m_about = make(tr("About Brevona Configurator"), QStringLiteral("About"));
    m_about->setMenuRole(QAction::AboutRole);
    connect(m_about, &QAction::triggered, this, &MainWindow::showAbout);

    struct Later
    {
        const char *name;
        const char *label;
        const char *theme;
        QStyle::StandardPixmap fallback;
        const char *feature;
    };
    static const Later later[] = {
        {"ImportLayers", QT_TR_NOOP("Import"), "document-import", QStyle::SP_DialogOpenButton,
         QT_TR_NOOP("Import a layer archive, or a keyboard picture into a layer")},
        {"ExportLayers", QT_TR_NOOP("Export"), "document-export", QStyle::SP_DialogSaveButton,
         QT_TR_NOOP("Export the selected layers as an archive, a keyboard template or a buttons set")},
        {"PaintLayer", QT_TR_NOOP("Paint"), "applications-graphics", QStyle::SP_DesktopIcon,
         QT_TR_NOOP("Paint the selected layer in a picture editor; what it saves comes back to the keys")},
        {"Updates", QT_TR_NOOP("Updates"), "system-software-update", QStyle::SP_BrowserReload,
         QT_TR_NOOP("Updates of this software and of the keyboard's firmware")},
        {"Settings", QT_TR_NOOP("Preferences"), "preferences-system", QStyle::SP_FileDialogDetailedView,
         QT_TR_NOOP("Keyboard brightness, sleep time, the paint application and more")},
    };
    for (const Later &item : later) {
        QAction *action = make(tr(item.label), QString::fromLatin1(item.name));
        action->setIcon(icon(item.theme, item.fallback));
        action->setToolTip(tr(item.feature));
        action->setStatusTip(tr(item.feature));
        action->setEnabled(false);
        m_later << action;
    }
    const auto exchange = [this](bool import) {
        if (KCLayerManager *manager = m_model->manager()) {
            ExchangeDialogs dialogs(this);
            showMessage(import ? dialogs.importLayers(*manager) : dialogs.exportLayers(*manager));
        }
    };
    connect(m_later[0], &QAction::triggered, this, [exchange] { exchange(true); });
    connect(m_later[1], &QAction::triggered, this, [exchange] { exchange(false); });
    connect(m_later[2], &QAction::triggered, this, &MainWindow::paintLayer);
    m_later[3]->setEnabled(true);
    connect(m_later[3], &QAction::triggered, this, [this] { showUpdates(); });
    m_settings = m_later.last();
    m_settings->setEnabled(true);
    // Desktops without a preferences key (most on Linux) get the common Ctrl+Comma.
    m_settings->setShortcuts(QKeySequence::keyBindings(QKeySequence::Preferences)
                             << QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(m_settings, &QAction::triggered, this, &MainWindow::showPreferences);
}

QMenu *MainWindow::creationMenu(QAction *create)
{
    // The new item may start with a first condition, which the conditions table then shows.
    auto *menu = new QMenu(create->text(), this);
    menu->setObjectName(create->objectName() + QStringLiteral("Menu"));
    menu->setAccessibleName(create->text());
    const bool group = create == m_newGroup;
    for (const KCConditionsManager::MenuEntry &entry : KCConditionsManager::newItemMenu()) {
        if (entry.role == KCConditionsManager::MenuEntry::Role::Separator) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(entry.title);
        action->setData(entry.value);
        if (entry.value.isEmpty())
            connect(action, &QAction::triggered, create, &QAction::trigger);
        else
            connect(action, &QAction::triggered, this,
                    [this, group, type = entry.value] { newItemWithCondition(group, type); });
    }
    return menu;
}

void MainWindow::createMenus()
{
    menuBar()->setAccessibleName(tr("Menu"));
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    file->addAction(m_open);
    file->addSeparator();
    file->addAction(m_backup);
    file->addAction(m_restore);
    file->addSeparator();
    file->addAction(m_quit);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("editMenu"));
    edit->addAction(m_undo);
    edit->addAction(m_redo);
    edit->addSeparator();
    edit->addAction(m_newLayer);
    edit->addAction(m_newGroup);
    edit->addAction(m_rename);
    edit->addAction(m_delete);
    edit->addSeparator();
    edit->addAction(m_hybrid);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    help->addAction(m_about);

    m_listMenu = new QMenu(tr("Layers"), this);
    m_listMenu->setObjectName(QStringLiteral("layerListMenu"));
    m_listMenu->setAccessibleName(tr("Layer actions"));
    m_listMenu->addAction(m_newLayer);
    m_listMenu->addAction(m_newGroup);
    m_listMenu->addSeparator();
    m_listMenu->addAction(m_rename);
    m_listMenu->addAction(m_delete);
    m_listMenu->addSeparator();
    m_listMenu->addAction(m_hybrid);
}

void MainWindow::createToolBar()
{
    m_toolBar = addToolBar(tr("Toolbar"));
    m_toolBar->setObjectName(QStringLiteral("BrevonaToolbar"));
    m_toolBar->setAccessibleName(tr("Toolbar"));
    m_toolBar->setMovable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(QSize(24, 24));
    const auto space = [this](bool flexible) {
        auto *spacer = new QWidget(m_toolBar);
        if (flexible)
            spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        else
            spacer->setFixedWidth(12);
        m_toolBar->addWidget(spacer);
    };
    const auto button = [this](QAction *action, QMenu *menu = nullptr) {
        m_toolBar->addAction(action);
        auto *tool = qobject_cast<QToolButton *>(m_toolBar->widgetForAction(action));
        if (!tool)
            return;
        tool->setObjectName(action->objectName() + QStringLiteral("Button"));
        tool->setAccessibleName(action->text());
        tool->setAccessibleDescription(action->toolTip());
        if (menu) {
            tool->setMenu(menu);
            tool->setPopupMode(QToolButton::MenuButtonPopup);
        }
    };
    space(false);
    button(m_newLayer, creationMenu(m_newLayer));
    button(m_newGroup, creationMenu(m_newGroup));
    button(m_delete);
    space(false);
    for (int i = 0; i < 3; ++i)
        button(m_later[i]);
    space(true);
    button(m_later[3]);
    button(m_later[4]);
}

void MainWindow::updateActions()
{
    const KCLayerManager *manager = m_model->manager();
    const bool loaded = manager && manager->rootGroup();
    QStringList selection = loaded ? manager->selection() : QStringList();
    bool anyStatic = false;
    for (const QString &identifier : std::as_const(selection)) {
        const auto layer = manager->findLayerByID(identifier);
        anyStatic = anyStatic || !layer || layer->staticLayer();
    }
    const auto current = loaded ? manager->currentLayer() : nullptr;
    const bool editable = current && !current->staticLayer();
    const auto single = std::dynamic_pointer_cast<KCSingleLayer>(current);
    m_newLayer->setEnabled(loaded);
    m_newGroup->setEnabled(loaded);
    m_delete->setEnabled(loaded && !selection.isEmpty() && !anyStatic);
    m_rename->setEnabled(editable);
    m_hybrid->setEnabled(single != nullptr);
    m_hybrid->setChecked(single && single->hybrid());
    m_backup->setEnabled(loaded);
    m_later[0]->setEnabled(loaded);
    m_later[1]->setEnabled(loaded && !selection.isEmpty());
    m_later[2]->setEnabled(single && selection.size() == 1 && manager->relativePathForLayer(single.get()));
}

void MainWindow::paintLayer()
{
    KCLayerManager *manager = m_model->manager();
    const auto layer = manager ? std::dynamic_pointer_cast<KCSingleLayer>(manager->currentLayer()) : nullptr;
    if (!layer || !m_painter)
        return;
    ApplicationCatalog &catalog = ApplicationCatalog::instance();
    QString editor = m_preferences.stringValue(PreferenceKeys::GeneralPaintLayersUsing);
    if (editor == PreferenceKeys::PaintAlwaysAsk || !catalog.application(editor)) {
        PaintUsingDialog dialog(PreferencesController::paintApplicationsMenu(catalog).mid(2), this);
        if (dialog.exec() != QDialog::Accepted || dialog.editor().isEmpty())
            return;
        editor = dialog.editor();
        if (dialog.makeDefault())
            m_preferences.setValue(PreferenceKeys::GeneralPaintLayersUsing, editor);
    }
    const Result<QString> painting = m_painter->paint(layer->UUID(), editor);
    const auto application = catalog.application(editor);
    showMessage(painting ? tr("Painting “%1” in %2: what it saves comes back to the layer")
                               .arg(layer->title(), application ? application->name : editor)
                         : painting.error());
}

void MainWindow::updateUndoActions()
{
    const QUndoStack *stack = m_stack;
    const bool canUndo = stack && stack->canUndo();
    const bool canRedo = stack && stack->canRedo();
    m_undo->setEnabled(canUndo);
    m_redo->setEnabled(canRedo);
    m_undo->setText(canUndo ? tr("Undo %1").arg(stack->undoText()) : tr("Undo"));
    m_redo->setText(canRedo ? tr("Redo %1").arg(stack->redoText()) : tr("Redo"));
}

void MainWindow::createUpdatesWindow()
{
    m_updatesWindow = new UpdatesWindow(this);
    m_updatesPresenter = std::make_unique<UpdatesPresenter>(m_controller, m_preferences, *m_updatesWindow);
    connect(m_updatesPresenter.get(), &UpdatesPresenter::updateAvailableChanged, this,
            [this](bool available) {
                m_later[3]->setIcon(available
                                        ? icon("software-update-available", QStyle::SP_MessageBoxInformation)
                                        : icon("system-software-update", QStyle::SP_BrowserReload));
            });
}

} // namespace brevona
