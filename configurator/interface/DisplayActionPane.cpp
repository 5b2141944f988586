#include "DisplayActionPane.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>

#include "PluginSettingsView.h"

namespace brevona {

namespace {

using Page = KCDisplayActionManager::Page;
using MenuEntry = KCDisplayActionManager::MenuEntry;

constexpr int PreviewSide = 96;
constexpr int ScaleSteps = 100; // the slider's value for a scale of 1

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setAccessibleName(text);
    return label;
}

} // namespace

DisplayActionPane::DisplayActionPane(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("displayActionPane"));
    setAccessibleName(tr("Display and action of the selected keys"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const auto header = [this, layout](const QString &title, QToolButton *&button, const QString &name) {
        auto *row = new QHBoxLayout;
        auto *label = new QLabel(QStringLiteral("<b>%1</b>").arg(title), this);
        row->addWidget(label);
        button = new QToolButton(this);
        button->setObjectName(name);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setIconSize(QSize(26, 26));
        button->setMinimumWidth(200);
        label->setBuddy(button);
        row->addWidget(button);
        row->addStretch(1);
        layout->addLayout(row);
    };
    header(tr("DISPLAY:"), m_displayButton, QStringLiteral("displayPluginButton"));
    m_displayButton->setAccessibleName(tr("Display plugin"));
    m_displayArea = makeArea(tr("Display settings"), true);
    layout->addWidget(m_displayArea, 1);
    header(tr("ACTION:"), m_actionButton, QStringLiteral("actionPluginButton"));
    m_actionButton->setAccessibleName(tr("Action plugin"));
    m_actionArea = makeArea(tr("Action settings"), false);
    layout->addWidget(m_actionArea, 1);
    setManager(nullptr);
}

DisplayActionPane::~DisplayActionPane() = default;

QStackedWidget *DisplayActionPane::makeArea(const QString &name, bool display)
{
    // In the order of KCDisplayActionManager::Page.
    auto *area = new QStackedWidget(this);
    area->setAccessibleName(name);
    area->setFrameShape(QFrame::StyledPanel);
    auto *empty = note(tr("No key is selected"), area);
    empty->setObjectName(QStringLiteral("emptyPage"));
    area->addWidget(empty);
    area->addWidget(note(tr("Multiple values"), area));
    auto *plugin = new QWidget(area);
    plugin->setObjectName(QStringLiteral("pluginPage"));
    new QVBoxLayout(plugin);
    area->addWidget(plugin);
    area->addWidget(display ? makePicturePage() : new QWidget(area));
    area->addWidget(note(tr("This plugin has no options"), area));
    return area;
}

QWidget *DisplayActionPane::makePicturePage()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("picturePage"));
    auto *layout = new QHBoxLayout(page);
    m_preview = new QLabel(page);
    m_preview->setObjectName(QStringLiteral("keyPicture"));
    m_preview->setAccessibleName(tr("Key picture"));
    m_preview->setFixedSize(PreviewSide, PreviewSide);
    m_preview->setFrameShape(QFrame::Box);
    layout->addWidget(m_preview);
    auto *controls = new QFormLayout;
    m_pictureControls = controls;
    m_chooseFile = new QPushButton(tr("Choose Picture…"), page);
    m_chooseFile->setObjectName(QStringLiteral("choosePicture"));
    m_chooseFile->setToolTip(tr("Show a picture file on the selected keys"));
    connect(m_chooseFile, &QPushButton::clicked, this, &DisplayActionPane::choosePictureFile);
    controls->addRow(m_chooseFile);
    m_scale = new QSlider(Qt::Horizontal, page);
    m_scale->setObjectName(QStringLiteral("pictureScale"));
    m_scale->setAccessibleName(tr("Picture scale"));
    m_scale->setRange(0, 2 * ScaleSteps);
    m_scale->setValue(ScaleSteps);
    // The picture changes while the slider moves; the keys take it when it is let go.
    connect(m_scale, &QSlider::valueChanged, this, &DisplayActionPane::showPreview);
    connect(m_scale, &QSlider::sliderReleased, this, &DisplayActionPane::applyPicture);
    connect(m_scale, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(this, &DisplayActionPane::applyPicture, Qt::QueuedConnection);
    });
    controls->addRow(tr("Scale:"), m_scale);
    auto *library = new QListWidget(page);
    library->setObjectName(QStringLiteral("stockPictures"));
    library->setAccessibleName(tr("Stock pictures"));
    library->setViewMode(QListView::IconMode);
    library->setIconSize(QSize(32, 32));
    library->setMovement(QListView::Static);
    library->setResizeMode(QListView::Adjust);
    library->setFixedHeight(2 * 44 + 8);
    const QList<QImage> pictures = KCDisplayActionManager::stockPictures();
    for (int i = 0; i < pictures.size(); ++i) {
        auto *item = new QListWidgetItem(QIcon(QPixmap::fromImage(pictures.at(i))), QString(), library);
        item->setData(Qt::AccessibleTextRole, tr("Stock picture %1").arg(i + 1));
        item->setToolTip(tr("Stock picture %1").arg(i + 1));
    }
    connect(library, &QListWidget::itemActivated, this, [this, library](QListWidgetItem *item) {
        const QList<QImage> stock = KCDisplayActionManager::stockPictures();
        const int row = library->row(item);
        if (row >= 0 && row < stock.size())
            setWorkingPicture(stock.at(row));
    });
    connect(library, &QListWidget::itemClicked, library, &QListWidget::itemActivated);
    controls->addRow(tr("Library:"), library);
    layout->addLayout(controls, 1);
    return page;
}

void DisplayActionPane::setManager(KCDisplayActionManager *manager)
{
    if (m_manager)
        disconnect(m_manager, nullptr, this, nullptr);
    // Views stand on the old manager's proxies.
    commitSettingsViews();
    for (auto &[file, view] : m_views)
        delete view.data();
    m_views.clear();
    m_manager = manager;
    if (manager)
        // Queued: the menu whose item made the edit is still on the stack.
        connect(manager, &KCDisplayActionManager::controlsChanged, this, &DisplayActionPane::refresh,
                Qt::QueuedConnection);
    refresh();
}

QMenu *DisplayActionPane::buildMenu(const QList<MenuEntry> &entries, const QString &checked, bool display)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(display ? QStringLiteral("displayMenu") : QStringLiteral("actionMenu"));
    menu->setToolTipsVisible(true);
    auto *group = new QActionGroup(menu);
    for (const MenuEntry &entry : entries) {
        if (entry.role == MenuEntry::Role::Separator) {
            menu->addSeparator();
            continue;
        }
        if (entry.role == MenuEntry::Role::Header) {
            menu->addSection(entry.title);
            continue;
        }
        QAction *action = menu->addAction(QIcon(QPixmap::fromImage(entry.icon)), entry.title);
        action->setData(entry.signature);
        action->setToolTip(entry.description);
        action->setStatusTip(entry.description);
        action->setCheckable(true);
        action->setChecked(entry.signature == checked);
        group->addAction(action);
        if (entry.bold) {
            QFont font = action->font();
            font.setBold(true);
            action->setFont(font);
        }
        connect(action, &QAction::triggered, this,
                [this, signature = entry.signature, display] { choose(signature, display); });
    }
    return menu;
}

void DisplayActionPane::refresh()
{
    // The manager announces the end of its quiet period; until then the pane shows what it showed.
    if (m_manager && !m_manager->safeToUpdateControls())
        return;
    const bool enabled = m_manager && m_manager->enabled();
    // The empty page stands for no selection, and for keys that have nothing to set.
    for (QStackedWidget *area : {m_displayArea, m_actionArea}) {
        auto *empty = static_cast<QLabel *>(area->widget(int(Page::Empty)));
        empty->setText(enabled ? tr("Nothing to set") : tr("No key is selected"));
        empty->setAccessibleName(empty->text());
    }
    for (QToolButton *button : {m_displayButton, m_actionButton}) {
        button->setEnabled(enabled);
        if (QMenu *old = button->menu())
            old->deleteLater();
        button->setMenu(nullptr);
    }
    if (!enabled) {
        for (QToolButton *button : {m_displayButton, m_actionButton}) {
            button->setText(tr("No key selected"));
            button->setIcon(QIcon());
        }
        m_displayArea->setCurrentIndex(int(Page::Empty));
        m_actionArea->setCurrentIndex(int(Page::Empty));
        return;
    }
    showSide(m_manager->displaySide(), m_displayButton, m_displayArea, m_manager->displayMenu(), true);
    showSide(m_manager->actionSide(), m_actionButton, m_actionArea, m_manager->actionMenu(), false);
}

void DisplayActionPane::showSide(const KCDisplayActionManager::Side &side, QToolButton *button,
                                 QStackedWidget *area, const QList<MenuEntry> &entries, bool display)
{
    button->setMenu(buildMenu(entries, side.checked, display));
    button->setText(side.mixed ? tr("Multiple") : QString());
    button->setIcon(QIcon());
    for (const MenuEntry &entry : entries) {
        if (entry.role == MenuEntry::Role::Item && entry.signature == side.checked) {
            button->setText(entry.title);
            button->setIcon(QIcon(QPixmap::fromImage(entry.icon)));
        }
    }
    area->setCurrentIndex(int(side.page));
    if (side.page == Page::Plugin)
        showSettingsView(area, side);
    if (side.page == Page::Picture) {
        // Several keys start from nothing: whatever is chosen then goes on all of them.
        const QStringList keys = m_manager->selectedKeys();
        m_working = keys.size() == 1 ? m_manager->keyPicture(keys.first()) : QImage();
        m_scale->blockSignals(true);
        m_scale->setValue(ScaleSteps);
        m_scale->blockSignals(false);
        setScaleOffered(KCDisplayActionManager::needsResizer(m_working) && !m_working.isNull());
        showPreview();
    }
}

void DisplayActionPane::showSettingsView(QStackedWidget *area, const KCDisplayActionManager::Side &side)
{
    QWidget *page = area->widget(int(Page::Plugin));
    QPointer<PluginSettingsView> &view = m_views[side.settingsView + QLatin1Char('|') + side.checked];
    if (!view) {
        view = new PluginSettingsView(side.settingsView, m_manager->proxyForSignature(side.checked), page);
        view->setAccessibleName(tr("Settings of %1").arg(side.checked));
        page->layout()->addWidget(view);
    }
    // One view shows at a time; the others keep their state for the next key with their plugin.
    for (PluginSettingsView *other : page->findChildren<PluginSettingsView *>(Qt::FindDirectChildrenOnly))
        other->setVisible(other == view);
    view->refresh();
}

void DisplayActionPane::commitSettingsViews()
{
    for (auto &[file, view] : m_views) {
        if (view && view->isVisible())
            view->commitEdits();
    }
}

void DisplayActionPane::choose(const QString &signature, bool display)
{
    if (!m_manager)
        return;
    const auto outcome = display ? m_manager->changeDisplay(signature) : m_manager->changeAction(signature);
    if (outcome != KCDisplayActionManager::Outcome::Done)
        emit editRefused(m_manager->lastError());
}

void DisplayActionPane::choosePictureFile()
{
    const QString path = QFileDialog::getOpenFileName(
        window(), tr("Choose a Picture"), QStandardPaths::writableLocation(QStandardPaths::HomeLocation),
        tr("Pictures (*.tiff *.tif *.jpg *.jpeg *.gif *.png)"));
    if (path.isEmpty())
        return;
    const Result<QImage> picture = KCDisplayActionManager::readPictureFile(path);
    if (!picture) {
        emit editRefused(picture.error());
        return;
    }
    setWorkingPicture(*picture);
}

void DisplayActionPane::setWorkingPicture(const QImage &picture)
{
    m_working = picture;
    m_scale->blockSignals(true);
    m_scale->setValue(ScaleSteps);
    m_scale->blockSignals(false);
    setScaleOffered(KCDisplayActionManager::needsResizer(picture));
    showPreview();
    applyPicture();
}

void DisplayActionPane::setScaleOffered(bool offered)
{
    // A picture of the key's own size has nothing to scale.
    m_pictureControls->setRowVisible(m_scale, offered);
}

void DisplayActionPane::showPreview()
{
    const QImage output =
        KCDisplayActionManager::keyPictureAtScale(m_working, double(m_scale->value()) / ScaleSteps);
    m_preview->setPixmap(QPixmap::fromImage(
        output.scaled(PreviewSide, PreviewSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

void DisplayActionPane::applyPicture()
{
    if (m_manager && !m_working.isNull())
        m_manager->applyPicture(
            KCDisplayActionManager::keyPictureAtScale(m_working, double(m_scale->value()) / ScaleSteps));
}

} // namespace brevona
