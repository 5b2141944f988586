#include "UpdatesWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace brevona {

namespace {

const QString InstructionsPage = QStringLiteral("https://kettlewood.com/brevona/firmware");
const QString SupportMail =
    QStringLiteral("mailto:support@kettlewood.com?subject=Brevona%20firmware%20corrupted%20(Linux)");
// "Keyboard is not connected" and an available update stand out in dark red.
const QColor Alert = QColor::fromHsvF(0, 0.4f, 0.4f);
const QColor NewerVersion = QColor::fromHsvF(0, 0.8f, 0.7f);

void colour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText,
                     colour.isValid() ? colour
                                      : label->parentWidget()->palette().color(QPalette::WindowText));
    label->setPalette(palette);
}

QLabel *value(const QString &name)
{
    auto *label = new QLabel;
    label->setAccessibleName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

UpdatesWindow::UpdatesWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("updatesWindow"));
    setWindowTitle(tr("Updates"));
    setAccessibleName(tr("Updates"));
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget;
    m_tabs->setAccessibleName(tr("Updates"));
    m_tabs->addTab(buildSoftwarePage(), tr("&Software"));
    m_tabs->addTab(buildFirmwarePage(), tr("&Firmware"));
    layout->addWidget(m_tabs);
    resize(560, 480);
    showSoftware({});
    showFirmware({});
}

QWidget *UpdatesWindow::buildSoftwarePage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *versions = new QFormLayout;
    m_installed = value(tr("Installed version"));
    m_available = value(tr("Available version"));
    m_available->setObjectName(QStringLiteral("availableVersion"));
    versions->addRow(tr("Installed:"), m_installed);
    versions->addRow(tr("Available:"), m_available);
    layout->addLayout(versions);

    m_notes = new QTextBrowser;
    m_notes->setObjectName(QStringLiteral("releaseNotes"));
    m_notes->setAccessibleName(tr("Release notes"));
    m_notes->setOpenExternalLinks(true);
    layout->addWidget(m_notes, 1);
    m_softwareMessage = new QLabel;
    m_softwareMessage->setAccessibleName(tr("Update status"));
    m_softwareMessage->setWordWrap(true);
    layout->addWidget(m_softwareMessage);

    auto *buttons = new QHBoxLayout;
    m_automatic = new QCheckBox(tr("Check for updates &automatically"));
    m_automatic->setAccessibleName(tr("Check for updates automatically"));
    connect(m_automatic, &QCheckBox::toggled, this, &UpdatesWindow::automaticChecksChanged);
    m_check = new QPushButton(tr("&Check Now"));
    m_check->setAccessibleName(tr("Check for updates now"));
    connect(m_check, &QPushButton::clicked, this, &UpdatesWindow::checkRequested);
    m_install = new QPushButton;
    m_install->setObjectName(QStringLiteral("installUpdate"));
    connect(m_install, &QPushButton::clicked, this, &UpdatesWindow::installRequested);
    buttons->addWidget(m_automatic);
    buttons->addStretch();
    buttons->addWidget(m_check);
    buttons->addWidget(m_install);
    layout->addLayout(buttons);
    return page;
}

QWidget *UpdatesWindow::buildFirmwarePage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    m_keyboardStatus = new QLabel;
    m_keyboardStatus->setObjectName(QStringLiteral("keyboardStatus"));
    m_keyboardStatus->setAccessibleName(tr("Keyboard status"));
    QFont bold = m_keyboardStatus->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    m_keyboardStatus->setFont(bold);
    layout->addWidget(m_keyboardStatus);

    auto *versions = new QFormLayout;
    m_firmwareInstalled = value(tr("Firmware on the keyboard"));
    m_firmwareAvailable = value(tr("Firmware to write"));
    m_firmwareAvailableLabel = new QLabel;
    versions->addRow(tr("On the keyboard:"), m_firmwareInstalled);
    versions->addRow(m_firmwareAvailableLabel, m_firmwareAvailable);
    layout->addLayout(versions);

    auto *shipped = new QRadioButton(tr("The firmware that came with this version"));
    auto *chosen = new QRadioButton(tr("A firmware &file:"));
    shipped->setAccessibleName(shipped->text());
    chosen->setAccessibleName(tr("A firmware file"));
    m_mode = new QButtonGroup(this);
    m_mode->addButton(shipped, 0);
    m_mode->addButton(chosen, 1);
    shipped->setChecked(true);
    connect(m_mode, &QButtonGroup::idClicked, this, [this](int id) { emit firmwareModeChanged(id == 1); });
    layout->addWidget(shipped);
    auto *fileRow = new QHBoxLayout;
    m_chosenFile = new QLineEdit;
    m_chosenFile->setReadOnly(true);
    m_chosenFile->setAccessibleName(tr("Chosen firmware file"));
    m_choose = new QPushButton(tr("C&hoose…"));
    m_choose->setAccessibleName(tr("Choose a firmware file"));
    connect(m_choose, &QPushButton::clicked, this, &UpdatesWindow::chooseFirmwareFile);
    fileRow->addWidget(chosen);
    fileRow->addWidget(m_chosenFile, 1);
    fileRow->addWidget(m_choose);
    layout->addLayout(fileRow);

    m_progress = new QProgressBar;
    m_progress->setAccessibleName(tr("Writing the firmware"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    layout->addWidget(m_progress);
    layout->addStretch();

    auto *bottom = new QHBoxLayout;
    auto *links =
        new QLabel(tr("<a href=\"%1\">Firmware instructions</a> · <a href=\"%2\">Write to support</a>")
                       .arg(InstructionsPage, SupportMail));
    links->setAccessibleName(tr("Help with the firmware"));
    links->setOpenExternalLinks(true);
    m_upgrade = new QPushButton;
    m_upgrade->setObjectName(QStringLiteral("upgradeFirmware"));
    connect(m_upgrade, &QPushButton::clicked, this, &UpdatesWindow::upgradeRequested);
    bottom->addWidget(links);
    bottom->addStretch();
    bottom->addWidget(m_upgrade);
    layout->addLayout(bottom);
    return page;
}

void UpdatesWindow::showSoftware(const Software &software)
{
    m_installed->setText(software.installed);
    m_available->setText(software.available.isEmpty() ? tr("-") : software.available);
    colour(m_available, software.updateAvailable ? NewerVersion : QColor());
    if (software.notes != m_notes->property("shown").toString()) {
        m_notes->setProperty("shown", software.notes);
        switch (software.notesFormat) {
        case Qt::RichText:
            m_notes->setHtml(software.notes);
            break;
        case Qt::MarkdownText:
            m_notes->setMarkdown(software.notes);
            break;
        default:
            m_notes->setPlainText(software.notes);
            break;
        }
    }
    m_softwareMessage->setText(software.checking ? tr("Checking for updates…") : software.message);
    m_check->setEnabled(!software.checking);
    m_install->setText(software.installTitle.isEmpty() ? tr("&Install Update") : software.installTitle);
    m_install->setAccessibleName(m_install->text().remove(QLatin1Char('&')));
    m_install->setEnabled(software.updateAvailable);
}

void UpdatesWindow::showFirmware(const Firmware &firmware)
{
    m_keyboardStatus->setText(!firmware.status.isEmpty() ? firmware.status
                              : firmware.connected       ? tr("Keyboard is connected")
                                                         : tr("Keyboard is not connected"));
    colour(m_keyboardStatus, firmware.connected || !firmware.status.isEmpty() ? QColor() : Alert);
    m_firmwareInstalled->setText(firmware.installed.isEmpty() ? QStringLiteral("-.--") : firmware.installed);
    m_firmwareAvailableLabel->setText(firmware.availableLabel.isEmpty() ? tr("Latest:")
                                                                        : firmware.availableLabel);
    m_firmwareAvailable->setText(firmware.available.isEmpty() ? QStringLiteral("-.--") : firmware.available);
    colour(m_firmwareAvailable, firmware.availableColour);
    m_mode->button(firmware.fromFile ? 1 : 0)->setChecked(true);
    m_chosenFile->setText(firmware.chosenFile);
    m_chosenFile->setEnabled(firmware.fromFile);
    m_choose->setEnabled(firmware.fromFile && !firmware.upgrading);
    m_progress->setVisible(firmware.upgrading);
    m_upgrade->setText(firmware.buttonTitle.isEmpty() ? tr("Upgrade") : firmware.buttonTitle);
    m_upgrade->setAccessibleName(tr("%1 the keyboard's firmware").arg(m_upgrade->text()));
    m_upgrade->setEnabled(firmware.buttonEnabled && !firmware.upgrading);
}

void UpdatesWindow::setAutomaticChecks(bool on)
{
    const QSignalBlocker blocker(m_automatic);
    m_automatic->setChecked(on);
}

void UpdatesWindow::present(Page page)
{
    m_tabs->setCurrentIndex(page);
    show();
    raise();
    activateWindow();
}

void UpdatesWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        emit activeChanged(isActiveWindow());
}

void UpdatesWindow::chooseFirmwareFile()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Choose a Firmware File"), QStringLiteral("upgrade.bin"),
                                     tr("Firmware (*.bin);;All files (*)"));
    if (!path.isEmpty())
        emit firmwareFileChosen(path);
}

} // namespace brevona
