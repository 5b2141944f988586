#include "PreferencesWindow.h"

#include <algorithm>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "ApplicationCatalog.h"
#include "KCButtonDropZonesView.h"
#include "PreferenceKeys.h"
#include "PreferencesController.h"
#include "PreferencesStore.h"

namespace brevona {

namespace {

QString swatchStyle(const QColor &colour)
{
    return QStringLiteral("background-color: %1; min-width: 48px;").arg(colour.name());
}

QColor storedColour(const PreferencesStore &preferences)
{
    const auto colour =
        PreferenceKeys::Colour::fromArchive(preferences.dataValue(PreferenceKeys::KeyboardSelectionColor));
    if (!colour)
        return QColor::fromHsvF(0.1f, 1, 1);
    return QColor::fromHsvF(float(colour->hue), float(colour->saturation), float(colour->brightness),
                            float(colour->alpha));
}

QCheckBox *checkBox(const QString &text, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setAccessibleName(text);
    return box;
}

} // namespace

PreferencesWindow::PreferencesWindow(PreferencesStore &preferences, PreferencesController &controller,
                                     ApplicationCatalog &catalog, QWidget *parent)
    : QDialog(parent)
    , m_preferences(preferences)
    , m_controller(controller)
    , m_catalog(catalog)
{
    setWindowTitle(tr("Preferences"));
    setAccessibleName(tr("Preferences"));
    auto *tabs = new QTabWidget(this);
    tabs->setAccessibleName(tr("Preference pages"));
    tabs->addTab(buildGeneralPage(), tr("General"));
    tabs->addTab(buildKeyboardPage(), tr("Keyboard"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    load();
}

QWidget *PreferencesWindow::buildGeneralPage()
{
    auto *page = new QWidget(this);
    m_checkForUpdates = checkBox(tr("Check for updates automatically"), page);
    m_animateConditions = checkBox(tr("Animate changes of the conditions table"), page);
    m_paintWith = new QComboBox(page);
    m_paintWith->setAccessibleName(tr("Paint Applications"));

    m_customApps = new QListWidget(page);
    m_customApps->setAccessibleName(tr("Applications added by hand"));
    m_customApps->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_customApps->setAcceptDrops(true);
    m_customApps->viewport()->setAcceptDrops(true);
    m_customApps->viewport()->installEventFilter(this);
    auto *add = new QPushButton(tr("Add…"), page);
    add->setAccessibleName(tr("Add application"));
    m_removeApps = new QPushButton(tr("Remove"), page);
    m_removeApps->setAccessibleName(tr("Remove applications"));
    m_removeApps->setEnabled(false);
    connect(add, &QPushButton::clicked, this, &PreferencesWindow::addCustomApplication);
    connect(m_removeApps, &QPushButton::clicked, this, &PreferencesWindow::removeCustomApplications);
    connect(m_customApps, &QListWidget::itemSelectionChanged, this,
            [this] { m_removeApps->setEnabled(!m_customApps->selectedItems().isEmpty()); });
    connect(&m_controller, &PreferencesController::customApplicationsChanged, this,
            &PreferencesWindow::loadCustomApplications);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(m_removeApps);
    buttons->addStretch();
    auto *form = new QFormLayout(page);
    form->addRow(m_checkForUpdates);
    form->addRow(m_animateConditions);
    form->addRow(tr("Paint layers with:"), m_paintWith);
    form->addRow(new QLabel(tr("Applications offered in conditions besides the installed ones:"), page));
    form->addRow(m_customApps);
    form->addRow(buttons);
    return page;
}

QWidget *PreferencesWindow::buildKeyboardPage()
{
    auto *page = new QWidget(this);
    m_brightness = new QSlider(Qt::Horizontal, page);
    m_brightness->setRange(int(PreferencesController::kMinBrightness),
                           int(PreferencesController::kMaxBrightness));
    m_brightness->setAccessibleName(tr("Brightness"));
    m_brightnessLabel = new QLabel(page);
    m_autoBrightness = checkBox(tr("Adjust brightness automatically"), page);
    m_sleepTimeout = new QSlider(Qt::Horizontal, page);
    m_sleepTimeout->setRange(int(PreferencesController::kMinSleepTimeout),
                             int(PreferencesController::kMaxSleepTimeout));
    m_sleepTimeout->setSingleStep(5);
    m_sleepTimeout->setPageStep(30);
    m_sleepTimeout->setAccessibleName(tr("Sleep after"));
    m_sleepTimeoutLabel = new QLabel(page);
    m_wakeOnMouse = checkBox(tr("Wake the keyboard when the mouse moves"), page);
    m_capsLockModifier = checkBox(tr("Caps Lock counts as a modifier"), page);
    m_background = new QComboBox(page);
    m_background->setAccessibleName(tr("Keyboard picture"));
    m_background->addItems({tr("Black keyboard"), tr("White keyboard")});
    m_selectionColour = new QPushButton(page);
    m_selectionColour->setAccessibleName(tr("Selection colour"));
    connect(m_selectionColour, &QPushButton::clicked, this, &PreferencesWindow::chooseSelectionColour);

    // These four reach the keyboard at once: the user sees the brightness while dragging.
    connect(m_brightness, &QSlider::valueChanged, this, [this](int value) {
        if (!m_loading && m_controller.setBrightness(value))
            m_brightnessLabel->setText(m_controller.brightnessLabel());
    });
    connect(m_autoBrightness, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_loading)
            m_controller.setAutoAdjustBrightness(on);
    });
    connect(m_sleepTimeout, &QSlider::valueChanged, this, [this](int value) {
        if (!m_loading && m_controller.setSleepTimeout(value))
            m_sleepTimeoutLabel->setText(m_controller.sleepTimeoutLabel());
    });
    connect(m_wakeOnMouse, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_loading)
            m_controller.setWakeOnWhenMouseMoves(on);
    });

    // As wide as the longest text, both: the sliders line up and stay put while the labels change.
    const int labelWidth =
        m_sleepTimeoutLabel->fontMetrics().horizontalAdvance(QStringLiteral("4 minutes 59 seconds"));
    m_brightnessLabel->setMinimumWidth(labelWidth);
    m_sleepTimeoutLabel->setMinimumWidth(labelWidth);
    auto *brightness = new QHBoxLayout;
    brightness->addWidget(m_brightness);
    brightness->addWidget(m_brightnessLabel);
    auto *sleep = new QHBoxLayout;
    sleep->addWidget(m_sleepTimeout);
    sleep->addWidget(m_sleepTimeoutLabel);
    auto *form = new QFormLayout(page);
    form->addRow(tr("Brightness:"), brightness);
    form->addRow(m_autoBrightness);
    form->addRow(tr("Sleep after:"), sleep);
    form->addRow(m_wakeOnMouse);
    form->addRow(m_capsLockModifier);
    form->addRow(tr("Keyboard picture:"), m_background);
    form->addRow(tr("Selected keys:"), m_selectionColour);
    // Where a hybrid layer's own picture and the language's character show on its keys: drag the
    // icons between the quarters. Stored and sent at once, like the controls above.
    auto *zones = new KCButtonDropZonesView(&m_preferences, &m_controller.driver(), page);
    zones->setAccessibleName(tr("Hybrid key zones"));
    form->addRow(tr("Hybrid keys:"), zones);
    return page;
}

void PreferencesWindow::load()
{
    m_loading = true;
    m_checkForUpdates->setChecked(m_preferences.boolValue(PreferenceKeys::GeneralCheckForUpdates));
    m_animateConditions->setChecked(m_preferences.boolValue(PreferenceKeys::AppearanceAnimateConditions));
    buildPaintMenu();
    loadCustomApplications();
    m_brightness->setValue(int(PreferencesController::clampedBrightness(
        m_preferences.realValue(PreferenceKeys::KeyboardBrightness))));
    m_brightnessLabel->setText(m_controller.brightnessLabel());
    m_autoBrightness->setChecked(m_preferences.boolValue(PreferenceKeys::AutoAdjustKeyboardBrightness));
    m_sleepTimeout->setValue(int(PreferencesController::clampedSleepTimeout(
        m_preferences.integerValue(PreferenceKeys::KeyboardSleepTimeout))));
    m_sleepTimeoutLabel->setText(m_controller.sleepTimeoutLabel());
    m_wakeOnMouse->setChecked(m_preferences.boolValue(PreferenceKeys::WakeOnWhenMouseMoves));
    m_capsLockModifier->setChecked(m_preferences.boolValue(PreferenceKeys::EnableCapsLockModifier));
    m_background->setCurrentIndex(
        m_preferences.integerValue(PreferenceKeys::KeyboardBackgroundColorType) ? 1 : 0);
    m_colour = storedColour(m_preferences);
    m_selectionColour->setStyleSheet(swatchStyle(m_colour));
    m_loading = false;
}

void PreferencesWindow::buildPaintMenu()
{
    m_paintWith->clear();
    const auto menu = PreferencesController::paintApplicationsMenu(m_catalog);
    for (const PreferencesController::MenuItem &item : menu) {
        if (item.separator) {
            m_paintWith->insertSeparator(m_paintWith->count());
            continue;
        }
        m_paintWith->addItem(QPixmap::fromImage(item.icon), item.title, item.value);
        if (!item.enabled)
            m_paintWith->setItemData(m_paintWith->count() - 1, 0, Qt::UserRole - 1); // not selectable
    }
    m_paintWith->setCurrentIndex(m_controller.selectedPaintItem(menu));
}

void PreferencesWindow::loadCustomApplications()
{
    m_customApps->clear();
    for (const QString &identifier : m_controller.customApplications()) {
        const auto application = m_catalog.application(identifier);
        auto *item = new QListWidgetItem(application ? application->name : identifier, m_customApps);
        item->setData(Qt::UserRole, identifier);
        if (application)
            item->setIcon(QPixmap::fromImage(m_catalog.icon(*application, 16)));
    }
}

void PreferencesWindow::showPreferences()
{
    load();
    show();
    raise();
    activateWindow();
}

void PreferencesWindow::accept()
{
    m_preferences.setValue(PreferenceKeys::GeneralCheckForUpdates, m_checkForUpdates->isChecked());
    m_preferences.setValue(PreferenceKeys::AppearanceAnimateConditions, m_animateConditions->isChecked());
    m_controller.setPaintApplication(m_paintWith->currentData().toString());
    m_preferences.setValue(PreferenceKeys::EnableCapsLockModifier, m_capsLockModifier->isChecked());
    m_preferences.setValue(PreferenceKeys::KeyboardBackgroundColorType, qint64(m_background->currentIndex()));
    float hue = 0, saturation = 0, brightness = 0, alpha = 1;
    m_colour.getHsvF(&hue, &saturation, &brightness, &alpha);
    m_preferences.setValue(
        PreferenceKeys::KeyboardSelectionColor,
        PreferenceKeys::Colour{std::max(0.0f, hue), saturation, brightness, alpha}.archived());
    QDialog::accept();
}

void PreferencesWindow::addCustomApplication()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Add Application"), QStringLiteral("/usr/share/applications"),
                                     tr("Applications (*.desktop)"));
    if (!path.isEmpty())
        addApplicationFiles({path});
}

void PreferencesWindow::addApplicationFiles(const QStringList &paths)
{
    QStringList identifiers;
    for (const QString &path : paths) {
        if (const auto application = m_catalog.applicationAtPath(path))
            identifiers.append(application->identifier);
    }
    m_controller.addCustomApplications(identifiers);
}

void PreferencesWindow::removeCustomApplications()
{
    QStringList identifiers;
    for (const QListWidgetItem *item : m_customApps->selectedItems())
        identifiers.append(item->data(Qt::UserRole).toString());
    m_controller.removeCustomApplications(identifiers);
}

void PreferencesWindow::chooseSelectionColour()
{
    const QColor colour = QColorDialog::getColor(m_colour, this, tr("Colour of Selected Keys"));
    if (!colour.isValid())
        return;
    m_colour = colour;
    m_selectionColour->setStyleSheet(swatchStyle(m_colour));
}

bool PreferencesWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Desktop entries dropped on the list are added, whatever the list's own drop rules say.
    if (watched == m_customApps->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto *drag = static_cast<QDropEvent *>(event);
            if (drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto *drop = static_cast<QDropEvent *>(event);
            QStringList paths;
            for (const QUrl &url : drop->mimeData()->urls()) {
                if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(".desktop")))
                    paths.append(url.toLocalFile());
            }
            addApplicationFiles(paths);
            drop->acceptProposedAction();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace brevona
