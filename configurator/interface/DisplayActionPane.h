#pragma once

#include <map>

#include <QImage>
#include <QPointer>
#include <QWidget>

#include "KCDisplayActionManager.h"

class QFormLayout;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QStackedWidget;
class QToolButton;

namespace brevona {
class PluginSettingsView;
}

namespace brevona {

// The "Display and Action" page: what the selected keys show (a picture, a display plugin or
// nothing) and do (their normal keystroke or an action plugin), each chosen from a menu of the
// installed plugins by category, with the chosen plugin's settings or the picture editor below.
class DisplayActionPane : public QWidget
{
    Q_OBJECT
public:
    explicit DisplayActionPane(QWidget *parent = nullptr);
    ~DisplayActionPane() override;

    // Null while the layer store is being replaced.
    void setManager(KCDisplayActionManager *manager);
    QToolButton *displayButton() const { return m_displayButton; }
    QToolButton *actionButton() const { return m_actionButton; }
    QStackedWidget *displayArea() const { return m_displayArea; }
    QStackedWidget *actionArea() const { return m_actionArea; }
    // The picture editor: a picture from a file becomes the selected keys' picture.
    void setWorkingPicture(const QImage &picture);
    QSlider *scaleSlider() const { return m_scale; }
    // Stores what a settings view shows but has not stored yet: run before the selection moves,
    // so text typed for a key goes to that key.
    void commitSettingsViews();

signals:
    void editRefused(const QString &message);

private:
    QStackedWidget *makeArea(const QString &name, bool display);
    QWidget *makePicturePage();
    QMenu *buildMenu(const QList<KCDisplayActionManager::MenuEntry> &entries, const QString &checked,
                     bool display);
    void refresh();
    void showSide(const KCDisplayActionManager::Side &side, QToolButton *button, QStackedWidget *area,
                  const QList<KCDisplayActionManager::MenuEntry> &entries, bool display);
    void choose(const QString &signature, bool display);
    void choosePictureFile();
    void applyPicture();
    void showPreview();
    void setScaleOffered(bool offered);
    // The settings view of the area's checked plugin, made once per view file and kept.
    void showSettingsView(QStackedWidget *area, const KCDisplayActionManager::Side &side);

    QPointer<KCDisplayActionManager> m_manager;
    QToolButton *m_displayButton = nullptr;
    QToolButton *m_actionButton = nullptr;
    QStackedWidget *m_displayArea = nullptr;
    QStackedWidget *m_actionArea = nullptr;
    QLabel *m_preview = nullptr;
    QSlider *m_scale = nullptr;
    QFormLayout *m_pictureControls = nullptr;
    QPushButton *m_chooseFile = nullptr;
    QImage m_working;
    std::map<QString, QPointer<PluginSettingsView>> m_views;
};

} // namespace brevona
