#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTextBrowser;

namespace brevona {

// The updates window: a page for the configurator's own updates and a page for the keyboard's
// firmware. It only shows what it is given and reports the user's gestures; the update check and
// the firmware upgrade decide everything.
class UpdatesWindow : public QWidget
{
    Q_OBJECT
public:
    enum Page
    {
        SoftwarePage,
        FirmwarePage,
    };

    struct Software
    {
        QString installed;
        QString available; // empty before the first answer
        bool updateAvailable = false;
        bool checking = false;
        QString notes; // the release notes, in `notesFormat`
        Qt::TextFormat notesFormat = Qt::PlainText;
        QString message;      // why the last check or install failed, or what happens now
        QString installTitle; // "Install Update", or what a package manager lets us do instead
    };

    struct Firmware
    {
        bool connected = false;
        QString installed; // "%.2f" or "-.--"
        QString available;
        QString availableLabel; // "Latest:" or "From file:"
        QColor availableColour; // invalid: the palette's own
        QString buttonTitle;    // "Upgrade", "Restore" or "Downgrade"
        bool buttonEnabled = false;
        bool upgrading = false;
        bool fromFile = false; // the chosen-file mode
        QString chosenFile;
        QString status; // overrides the connection text while set ("Waiting for keyboard...")
    };

    explicit UpdatesWindow(QWidget *parent = nullptr);

    void showSoftware(const Software &software);
    void showFirmware(const Firmware &firmware);
    void setAutomaticChecks(bool on);
    // Shows the window in front on `page`.
    void present(Page page);

    QTabWidget *tabs() const { return m_tabs; }
    QPushButton *installButton() const { return m_install; }
    QPushButton *checkButton() const { return m_check; }
    QPushButton *upgradeButton() const { return m_upgrade; }
    QTextBrowser *notesView() const { return m_notes; }
    QLabel *availableVersionLabel() const { return m_available; }
    QLabel *keyboardStatusLabel() const { return m_keyboardStatus; }

signals:
    void checkRequested();
    void installRequested();
    void automaticChecksChanged(bool on);
    void firmwareModeChanged(bool fromFile);
    void firmwareFileChosen(const QString &path);
    void upgradeRequested();
    // The window became the active one or stopped being it: the firmware checks run meanwhile.
    void activeChanged(bool active);

protected:
    void changeEvent(QEvent *event) override;

private:
    QWidget *buildSoftwarePage();
    QWidget *buildFirmwarePage();
    void chooseFirmwareFile();

    QTabWidget *m_tabs = nullptr;
    QLabel *m_installed = nullptr;
    QLabel *m_available = nullptr;
    QTextBrowser *m_notes = nullptr;
    QLabel *m_softwareMessage = nullptr;
    QPushButton *m_check = nullptr;
    QPushButton *m_install = nullptr;
    QCheckBox *m_automatic = nullptr;

    QLabel *m_keyboardStatus = nullptr;
    QLabel *m_firmwareInstalled = nullptr;
    QLabel *m_firmwareAvailableLabel = nullptr;
    QLabel *m_firmwareAvailable = nullptr;
    QButtonGroup *m_mode = nullptr;
    QLineEdit *m_chosenFile = nullptr;
    QPushButton *m_choose = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_upgrade = nullptr;
};

} // namespace brevona
