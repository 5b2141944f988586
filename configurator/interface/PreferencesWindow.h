#pragma once

#include <QColor>
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;

namespace brevona {

class ApplicationCatalog;
class PreferencesController;
class PreferencesStore;

// The preferences window. The keyboard page writes through at once (the keyboard follows a slider
// while it moves, one command when it rests); the general page keeps its edits until OK and drops
// them on Cancel.
class PreferencesWindow : public QDialog
{
    Q_OBJECT
public:
    PreferencesWindow(PreferencesStore &preferences, PreferencesController &controller,
                      ApplicationCatalog &catalog, QWidget *parent = nullptr);

    // Reverts unsaved edits, reads the stored values and shows the window in front.
    void showPreferences();

    void accept() override;

private:
    QWidget *buildGeneralPage();
    QWidget *buildKeyboardPage();
    void load();
    void loadCustomApplications();
    void buildPaintMenu();
    void addCustomApplication();
    void addApplicationFiles(const QStringList &paths);
    void removeCustomApplications();
    void chooseSelectionColour();
    bool eventFilter(QObject *watched, QEvent *event) override;

    PreferencesStore &m_preferences;
    PreferencesController &m_controller;
    ApplicationCatalog &m_catalog;

    QCheckBox *m_checkForUpdates = nullptr;
    QCheckBox *m_animateConditions = nullptr;
    QComboBox *m_paintWith = nullptr;
    QListWidget *m_customApps = nullptr;
    QPushButton *m_removeApps = nullptr;

    QSlider *m_brightness = nullptr;
    QLabel *m_brightnessLabel = nullptr;
    QCheckBox *m_autoBrightness = nullptr;
    QSlider *m_sleepTimeout = nullptr;
    QLabel *m_sleepTimeoutLabel = nullptr;
    QCheckBox *m_wakeOnMouse = nullptr;
    QCheckBox *m_capsLockModifier = nullptr;
    QComboBox *m_background = nullptr;
    QPushButton *m_selectionColour = nullptr;
    QColor m_colour;
    bool m_loading = false;
};

} // namespace brevona
