#include "PluginSettingsView.h"

#include <optional>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QBuffer>
#include <QColor>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequenceEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QThread>
#include <QUiLoader>
#include <QVBoxLayout>
#include <QXmlStreamReader>

#include "InterfaceLogging.h"
#include "KCSettingsProxy.h"

namespace brevona {

namespace {

// The form builder descends recursively: a file nested without end would exhaust the stack
// before it failed. Real forms stay far below this.
constexpr int MaximumDepth = 100;

// One process-wide loader. QUiLoader's constructor loads every Qt Designer plugin found below the
// library paths; with the paths emptied for that moment it loads none, so forms are built from
// Qt's own widgets and no third-party code runs to show a plugin's settings.
QUiLoader &formLoader()
{
    static QPointer<QUiLoader> loader;
    if (!loader) {
        const QStringList paths = QCoreApplication::libraryPaths();
        QCoreApplication::setLibraryPaths({});
        loader = new QUiLoader(QCoreApplication::instance());
        QCoreApplication::setLibraryPaths(paths);
        loader->clearPluginPaths();
        loader->setLanguageChangeEnabled(false);
    }
    return *loader;
}

// QUiLoader warns once for every part of a form it cannot build. While it reads a file, its
// warnings (those of the reading thread) are gathered so the view can say them in one line; the
// other threads' messages go on as before.
class LoaderMessages
{
public:
    LoaderMessages()
    {
        s_thread = QThread::currentThread();
        s_messages = &m_messages;
        s_previous = qInstallMessageHandler(&handle);
    }
    ~LoaderMessages()
    {
        qInstallMessageHandler(s_previous);
        s_messages = nullptr;
    }
    LoaderMessages(const LoaderMessages &) = delete;
    LoaderMessages &operator=(const LoaderMessages &) = delete;

    const QStringList &messages() const { return m_messages; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (type != QtDebugMsg && s_messages && QThread::currentThread() == s_thread) {
            s_messages->append(message);
            return;
        }
        if (s_previous)
            s_previous(type, context, message);
    }

    static inline QThread *s_thread = nullptr;
    static inline QStringList *s_messages = nullptr;
    static inline QtMessageHandler s_previous = nullptr;
    QStringList m_messages;
};

bool wellFormed(const QByteArray &data, QString &reason)
{
    QXmlStreamReader xml(data);
    int depth = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > MaximumDepth) {
            reason = QStringLiteral("its elements are nested more than %1 deep").arg(MaximumDepth);
            return false;
        }
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    if (xml.hasError()) {
        reason = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    return true;
}

bool isList(int type)
{
    return type == QMetaType::QStringList || type == QMetaType::QVariantList;
}

// What a control holds, as a setting. Settings live in property lists: values of other types
// are stored as text, and text keeps the type the setting had, so a number typed into a line edit
// stays a number and a list edited as text (one entry a line) stays a list. Empty text clears the
// setting, which falls back to the plugin's default. Nothing when the value cannot be stored.
std::optional<QVariant> storable(QVariant value, int storedType)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QDateTime:
    case QMetaType::QByteArray:
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
    case QMetaType::QVariantMap:
        break;
    default:
        if (!value.canConvert<QString>())
            return std::nullopt;
        value = value.toString();
    }
    if (value.typeId() != QMetaType::QString)
        return value;
    const QString text = value.toString();
    if (text.isEmpty())
        return QVariant();
    if (isList(storedType))
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    switch (storedType) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        if (QVariant number = value; number.convert(QMetaType(storedType)))
            return number;
        break;
    default:
        break;
    }
    return value;
}

QVariant askUser(PluginSettingsView::Choice choice, const QVariant &current, const QString &filter,
                 QWidget *parent)
{
    if (choice == PluginSettingsView::Choice::Color) {
        const QColor colour = QColorDialog::getColor(QColor::fromString(current.toString()), parent);
        return colour.isValid() ? QVariant(colour.name()) : QVariant();
    }
    const QString file = QFileDialog::getOpenFileName(parent, QString(), current.toString(), filter);
    return file.isEmpty() ? QVariant() : QVariant(file);
}

} // namespace

PluginSettingsView::PluginSettingsView(const QString &uiFile, KCSettingsProxy *proxy, QWidget *parent)
    : QWidget(parent)
    , m_file(uiFile)
    , m_proxy(proxy)
    , m_chooser(&askUser)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QString reason;
    QWidget *form = loadForm(uiFile, reason);
    if (!form) {
        qCWarning(lcInterface).noquote()
            << QStringLiteral("Cannot load the settings view %1: %2").arg(uiFile, reason);
        return;
    }
    // A form drawn as a dialog or a main window is shown inside the pane all the same.
    form->setWindowFlags(Qt::Widget);
    layout->addWidget(form);
    m_form = form;
    if (m_proxy)
        connect(m_proxy, &KCSettingsProxy::settingChanged, this, &PluginSettingsView::showSetting);
    bindControls(form);
    refresh();
}

PluginSettingsView::~PluginSettingsView()
{
    // The controls go while the bindings still stand: a control that loses the focus on its way
    // out (the window closing) would otherwise look them up after they are gone. A closing view
    // stores nothing; whoever keeps it commits its edits first.
    m_showing = true;
    delete m_form;
}

QWidget *PluginSettingsView::loadForm(const QString &uiFile, QString &reason)
{
    // Checked before the file is opened: a pipe or a device could block or never end.
    const QFileInfo info(uiFile);
    if (!info.isFile()) {
        reason = info.exists() ? QStringLiteral("not a file") : QStringLiteral("no such file");
        return nullptr;
    }
    const QString tooLarge = QStringLiteral("larger than %1 KiB").arg(MaximumFileSize / 1024);
    if (info.size() > MaximumFileSize) {
        reason = tooLarge;
        return nullptr;
    }
    QFile file(uiFile);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return nullptr;
    }
    // The file may have grown since its size was read.
    QByteArray data = file.read(MaximumFileSize + 1);
    if (data.size() > MaximumFileSize) {
        reason = tooLarge;
        return nullptr;
    }
    if (!wellFormed(data, reason))
        return nullptr;

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QUiLoader &loader = formLoader();
    // Pictures the form names relative to itself come from the bundle's resources.
    loader.setWorkingDirectory(info.absoluteDir());
    QWidget *form = nullptr;
    QStringList problems;
    {
        LoaderMessages messages;
        form = loader.load(&buffer);
        problems = messages.messages();
    }
    if (!form) {
        reason = loader.errorString();
        if (reason.isEmpty())
            reason =
                problems.isEmpty() ? QStringLiteral("it holds no form") : problems.join(QStringLiteral("; "));
        return nullptr;
    }
    if (!problems.isEmpty()) {
        qCWarning(lcInterface).noquote()
            << QStringLiteral("The settings view %1 is shown without what cannot be built: %2")
                   .arg(uiFile, problems.join(QStringLiteral("; ")));
    }
    return form;
}

void PluginSettingsView::bindControls(QWidget *form)
{
    QList<QWidget *> controls = form->findChildren<QWidget *>();
    controls.prepend(form);
    // Bindings are only ever added here: the ones stored stay where they are.
    for (QWidget *control : std::as_const(controls)) {
        const QVariant keyPath = control->property("binding");
        if (keyPath.isValid()) {
            const QString key = settingOf(keyPath.toString(), control);
            if (!key.isEmpty())
                bindControl(control, key);
        }
        for (const auto &[name, choice] :
             {std::pair{"chooseFile", Choice::File}, {"chooseColor", Choice::Color}}) {
            const QVariant chooserPath = control->property(name);
            if (!chooserPath.isValid())
                continue;
            const QString key = settingOf(chooserPath.toString(), control);
            if (!key.isEmpty())
                bindChooser(control, key, choice);
        }
    }
}

QString PluginSettingsView::settingOf(const QString &keyPath, const QWidget *control) const
{
    QString prefix = m_proxy ? m_proxy->signature() : QString();
    prefix.replace(QLatin1Char('.'), QLatin1Char('_'));
    const int dot = keyPath.indexOf(QLatin1Char('.'));
    if (!m_proxy || dot < 0 || keyPath.left(dot) != prefix || dot + 1 == keyPath.size()) {
        qCWarning(lcInterface).noquote()
            << QStringLiteral("The settings view %1 binds %2 to \"%3\", which is no setting of %4: ignored")
                   .arg(m_file, control->objectName(), keyPath, m_proxy ? m_proxy->signature() : QString());
        return {};
    }
    return keyPath.mid(dot + 1);
}

void PluginSettingsView::bindControl(QWidget *control, const QString &key)
{
    const QMetaProperty property = control->metaObject()->userProperty();
    if (!property.isValid() || !property.isWritable()) {
        qCWarning(lcInterface).noquote()
            << QStringLiteral(
                   "The settings view %1 binds %2, a %3, which has no user property to show a setting in")
                   .arg(m_file, control->objectName(), QLatin1String(control->metaObject()->className()));
        return;
    }
    Binding binding;
    binding.control = control;
    binding.property = property;
    binding.key = key;
    m_bindings.push_back(std::move(binding));

    // Every stored change is a command to the driver and a rewrite of the layer, and a half-typed
    // path or address is no setting the plugin should try: controls whose user property changes
    // with every key pressed store when editing ends (Return, or the focus leaving them). Spin
    // boxes and sliders store each step, but not each digit typed or each pixel dragged.
    const auto commitThis = [this, control] { commit(control); };
    if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        connect(edit, &QLineEdit::editingFinished, this, commitThis);
    } else if (auto *combo = qobject_cast<QComboBox *>(control); combo && combo->isEditable()) {
        connect(combo, &QComboBox::activated, this, commitThis);
        if (combo->lineEdit())
            connect(combo->lineEdit(), &QLineEdit::editingFinished, this, commitThis);
    } else if (auto *keys = qobject_cast<QKeySequenceEdit *>(control)) {
        connect(keys, &QKeySequenceEdit::editingFinished, this, commitThis);
    } else if (qobject_cast<QPlainTextEdit *>(control) || qobject_cast<QTextEdit *>(control)) {
        control->installEventFilter(this);
    } else if (property.hasNotifySignal()) {
        if (auto *spin = qobject_cast<QAbstractSpinBox *>(control))
            spin->setKeyboardTracking(false);
        if (auto *slider = qobject_cast<QAbstractSlider *>(control))
            slider->setTracking(false);
        const int slot = metaObject()->indexOfSlot("controlChanged()");
        connect(control, property.notifySignal(), this, metaObject()->method(slot));
    }
}

void PluginSettingsView::bindChooser(QWidget *button, const QString &key, Choice choice)
{
    auto *clickable = qobject_cast<QAbstractButton *>(button);
    if (!clickable) {
        qCWarning(lcInterface).noquote()
            << QStringLiteral("The settings view %1 asks %2, which is no button, to choose")
                   .arg(m_file, button->objectName());
        return;
    }
    Binding binding;
    binding.control = button;
    binding.key = key;
    binding.choice = choice;
    m_bindings.push_back(std::move(binding));
    connect(clickable, &QAbstractButton::clicked, this,
            [this, index = m_bindings.size() - 1] { choose(m_bindings[index]); });
}

void PluginSettingsView::refresh()
{
    for (Binding &binding : m_bindings)
        showBinding(binding);
}

void PluginSettingsView::showSetting(const QString &key)
{
    for (Binding &binding : m_bindings) {
        if (binding.key == key)
            showBinding(binding);
    }
}

void PluginSettingsView::showBinding(Binding &binding)
{
    QWidget *control = binding.control;
    if (!control || !binding.property.isValid())
        return;
    const QVariant value = m_proxy ? m_proxy->valueForKey(binding.key) : QVariant();
    binding.storedType = value.typeId();
    QVariant shown = value;
    if (isList(value.typeId()) && binding.property.typeId() == QMetaType::QString)
        shown = value.toStringList().join(QLatin1Char('\n'));

    // Writing what a control already shows would still move its cursor and reset its undo.
    QVariant converted = shown;
    const bool same =
        converted.convert(binding.property.metaType()) && converted == binding.property.read(control);
    m_showing = true;
    // A value the control cannot show leaves it empty.
    if (!same && !binding.property.write(control, shown))
        binding.property.write(control, QVariant());
    m_showing = false;
    binding.shown = binding.property.read(control);
}

void PluginSettingsView::controlChanged()
{
    commit(qobject_cast<QWidget *>(sender()));
}

bool PluginSettingsView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut)
        commit(qobject_cast<QWidget *>(watched));
    return QWidget::eventFilter(watched, event);
}

void PluginSettingsView::commitEdits()
{
    for (const Binding &binding : m_bindings)
        commit(binding.control);
}

void PluginSettingsView::commit(QWidget *control)
{
    if (m_showing || !control)
        return;
    Binding *binding = bindingOf(control);
    if (!binding)
        return;
    const QVariant value = binding->property.read(control);
    if (value == binding->shown)
        return;
    const std::optional<QVariant> setting = storable(value, binding->storedType);
    if (!setting) {
        qCWarning(lcInterface).noquote()
            << QStringLiteral("The settings view %1 cannot store the %2 of %3")
                   .arg(m_file, QLatin1String(value.typeName()), control->objectName());
        showBinding(*binding);
        return;
    }
    store(*binding, *setting);
}

void PluginSettingsView::setChooser(Chooser chooser)
{
    m_chooser = std::move(chooser);
}

void PluginSettingsView::choose(Binding &binding)
{
    if (!m_proxy || !m_chooser)
        return;
    const QVariant current = m_proxy->valueForKey(binding.key);
    const QString filter = binding.control ? binding.control->property("fileFilter").toString() : QString();
    const QVariant chosen = m_chooser(binding.choice, current, filter, this);
    if (!chosen.isValid())
        return;
    if (const std::optional<QVariant> setting = storable(chosen, current.typeId()))
        store(binding, *setting);
}

void PluginSettingsView::store(Binding &binding, QVariant value)
{
    if (!m_proxy)
        return;
    if (value.isValid() && !m_proxy->validateValue(value, binding.key)) {
        showBinding(binding);
        return;
    }
    // The proxy announces the change, which shows what is now stored (or the default a cleared
    // setting falls back to) in every control of the setting. The view may be gone by then.
    m_proxy->setValue(value, binding.key);
}

PluginSettingsView::Binding *PluginSettingsView::bindingOf(const QObject *control)
{
    for (Binding &binding : m_bindings) {
        if (binding.control == control && binding.property.isValid())
            return &binding;
    }
    return nullptr;
}

} // namespace brevona
