#pragma once

#include <memory>

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class QLabel;
class QMenu;
class QSplitter;
class QTimer;
class QToolBar;
class QUndoStack;

namespace brevona {

class AppController;
class ApplicationsHelper;
class ConditionsPane;
class ControlButtonsPane;
class DisplayActionPane;
class KCDisplayActionManager;
class KCDisplayActionTables;
class KCLayerPainter;
class KCPluginManager;
class KeyboardViewEditor;
class KCConditionsManager;
class LanguagesHelper;
class EditorArea;
class FontColorPane;
class LayerListModel;
class LayerListView;
class PluginTablesView;
class PluginToggleListener;
class KCKeyboardView;
class PreferencesController;
class PreferencesStore;
class PreferencesWindow;
class UpdatesPresenter;
class UpdatesWindow;

// The configurator's window: the layer list beside the editor, the toolbar, the menus with undo
// and redo, and the status line with the layer manager's messages and the driver's state.
//
// Every gesture becomes one call on the layer manager (through the application controller); the
// window then shows the manager's tree again. The window holds no state of its own beyond the
// split positions, which are kept in the preferences ("MainSplitViewSize").
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // The helpers give the condition editor the session's applications and input languages.
    MainWindow(AppController &controller, PreferencesStore &preferences, ApplicationsHelper &applications,
               LanguagesHelper &languages, QWidget *parent = nullptr);
    ~MainWindow() override;

    // After the controller's start(): shows the loaded tree, or why the store could not be read.
    void showStartResult(bool loaded);
    // Files handed to the program: each opened through the controller, the result on the status
    // line (and in the log when it failed).
    void openFiles(const QStringList &files);
    // Brings the window to the front (a second start of the program asked for it).
    void raiseWindow();

    LayerListView *layerList() const { return m_list; }
    LayerListModel *layerModel() const { return m_model; }
    EditorArea *editorArea() const { return m_editor; }
    KCKeyboardView *keyboardView() const { return m_keyboard; }
    ConditionsPane *conditionsPane() const { return m_conditionsPane; }
    DisplayActionPane *displayActionPane() const { return m_displayPane; }
    FontColorPane *fontColorPane() const { return m_fontPane; }
    ControlButtonsPane *controlButtonsPane() const { return m_controlPane; }
    PluginTablesView *pluginTables() const { return m_pluginTables; }
    // The installed plugins the display and action menus offer; none leaves the menus empty.
    void setPluginCatalogue(KCPluginManager *catalogue);
    KCConditionsManager *conditions() const { return m_conditions.get(); }
    QSplitter *mainSplit() const { return m_mainSplit; }
    QString driverState() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createCentralArea();
    void createStatusBar();
    QMenu *creationMenu(QAction *create);

    // Takes the controller's (possibly new) layer manager, or lets go of it before a reload.
    void attachManager();
    void detachManager();
    // The manager changed its tree or selection: the list, the actions and the editor follow.
    void managerChanged();
    void selectionChanged();
    // The keyboard view shows the one selected layer's keys.
    void showCurrentLayer();
    // The display and action pane edits the keys the keyboard view has selected.
    void keySelectionChanged();
    void attachDisplayAction();
    void updateActions();
    void updateUndoActions();
    QString selectionSummary() const;

    // Gestures.
    void newLayer();
    void newGroup();
    // The toolbar's creation menus: a new layer or group with a first condition of `type`.
    void newItemWithCondition(bool group, const QString &type);
    void deleteSelection();
    void renameSelection();
    void toggleHybrid(bool hybrid);
    void undo();
    void redo();
    void openFromDialog();
    // The selected layer in a picture editor: the preferred one, else the one the user picks.
    void paintLayer();
    void backUp();
    void restore();
    void showAbout();
    void showPreferences();
    void createUpdatesWindow();
    void showUpdates();
    // The outcome of one edit on the status line: the manager's reason when it did not go through.
    void report(int outcome);
    void showMessage(const QString &message);
    void driverConnectionChanged();
    void storeSplitWidth();

    AppController &m_controller;
    PreferencesStore &m_preferences;
    ApplicationsHelper &m_applications;
    LanguagesHelper &m_languages;
    // Made anew with each layer manager it edits through.
    std::unique_ptr<KCConditionsManager> m_conditions;
    ConditionsPane *m_conditionsPane = nullptr;
    KCPluginManager *m_catalogue = nullptr;
    std::unique_ptr<KCDisplayActionManager> m_displayAction;
    DisplayActionPane *m_displayPane = nullptr;
    FontColorPane *m_fontPane = nullptr;
    ControlButtonsPane *m_controlPane = nullptr;
    // The plugin tables beside the pane, made anew with each catalogue.
    std::unique_ptr<KCDisplayActionTables> m_tables;
    PluginTablesView *m_pluginTables = nullptr;
    std::unique_ptr<KeyboardViewEditor> m_keyEditor;
    LayerListModel *m_model = nullptr;
    LayerListView *m_list = nullptr;
    EditorArea *m_editor = nullptr;
    KCKeyboardView *m_keyboard = nullptr;
    QSplitter *m_mainSplit = nullptr;
    QToolBar *m_toolBar = nullptr;
    QLabel *m_driverState = nullptr;
    QMenu *m_listMenu = nullptr;
    QTimer *m_splitSave = nullptr;
    QPointer<QUndoStack> m_stack;
    // Plugins switch items through an announcement on the session bus.
    std::unique_ptr<PluginToggleListener> m_pluginToggles;
    // Layers painted in outside editors come back through it.
    std::unique_ptr<KCLayerPainter> m_painter;
    bool m_paintLeftoversRemoved = false;

    QAction *m_newLayer = nullptr;
    QAction *m_newGroup = nullptr;
    QAction *m_delete = nullptr;
    QAction *m_rename = nullptr;
    QAction *m_hybrid = nullptr;
    QAction *m_undo = nullptr;
    QAction *m_redo = nullptr;
    QAction *m_open = nullptr;
    QAction *m_backup = nullptr;
    QAction *m_restore = nullptr;
    QAction *m_quit = nullptr;
    QAction *m_about = nullptr;
    // The toolbar's items after the editing ones: Import, Export, Paint, Updates, Preferences.
    QList<QAction *> m_later;
    QAction *m_settings = nullptr;
    std::unique_ptr<PreferencesController> m_preferencesController;
    PreferencesWindow *m_preferencesWindow = nullptr;
    UpdatesWindow *m_updatesWindow = nullptr;
    std::unique_ptr<UpdatesPresenter> m_updatesPresenter;
};

} // namespace brevona
