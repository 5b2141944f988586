// Plugin settings views from Qt Designer files the tests write: controls bound to a settings proxy
// show its values and store the user's edits once each; broken and hostile files leave an empty
// view and one log line.
#include <memory>

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "KCSettingsProxy.h"
#include "LogCapture.h"
#include "PluginSettingsView.h"
#include "TestPrinters.h"

namespace brevona::test {
namespace {

// An underscore in the signature: its key paths still name it unambiguously.
const QString Signature = QStringLiteral("brevona.display.my_clock");
const QByteArray Prefix = "brevona_display_my_clock.";

// The selected key's instance: its defaults, its validation, and what reached the driver.
struct Instance : KCSettingsProxyDelegate
{
    QVariant currentValueForSetting(const QString &, const QString &key) override
    {
        return defaults.value(key);
    }
    void updatePluginSettings(const QString &, const QVariantMap &changed) override
    {
        for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
            const QVariant &value = it.value();
            written << QStringLiteral("%1=%2:%3")
                           .arg(it.key(),
                                value.typeId() == QMetaType::QStringList ? value.toStringList().join(',')
                                                                         : value.toString(),
                                QLatin1String(value.typeName()));
        }
    }
    // Colours are refused unless named, and names are stored as numbers.
    bool validateSetting(const QString &, QVariant &value, const QString &key) override
    {
        if (key != QLatin1String("colour"))
            return true;
        const QColor colour = QColor::fromString(value.toString());
        value = colour.name();
        return colour.isValid();
    }
    QVariantMap defaults;
    QStringList written;
};

QByteArray control(const char *className, const QByteArray &keyPath, const QByteArray &extra = {})
{
    return QByteArray("<item><widget class=\"") + className + "\" name=\"control\">" +
           "<property name=\"binding\" stdset=\"0\"><string>" + keyPath + "</string></property>" + extra +
           "</widget></item>";
}

QByteArray form(const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\"><class>Form</class>"
           "<widget class=\"QWidget\" name=\"Form\"><layout class=\"QVBoxLayout\" name=\"layout\">" +
           items + "</layout></widget></ui>";
}

void type(QWidget *widget, const char *text)
{
    QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(widget, Qt::Key_Backspace);
    QTest::keyClicks(widget, QLatin1String(text));
    QTest::keyClick(widget, Qt::Key_Return);
}

class SettingsViewTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QString write(const QByteArray &content)
    {
        const QString path = folder.filePath(QStringLiteral("view.ui"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    QTemporaryDir folder;
    Instance instance;
    KCSettingsProxy proxy{Signature, instance};
};

struct BindingRow
{
    const char *name;
    QByteArray control;
    QVariantMap values; // stored for the key, or the instance's own with `defaults`
    bool defaults;
    QVariant shows;          // the control's user property
    void (*edit)(QWidget *); // what the user does
    const char *written;     // the one change that reaches the driver, if any
};

// clang-format off
const BindingRow kBindings[] = {
    {.name = "line_edit_stores_when_editing_ends", .control = control("QLineEdit", Prefix + "format"), .values = {{"format", "hh:mm"}}, .defaults = false, .shows = "hh:mm", .edit = [](QWidget *w) { type(w, "h:mm ap"); }, .written = "format=h:mm ap:QString"},
    {.name = "line_edit_shows_the_instance_default_and_clearing_falls_back_to_it", .control = control("QLineEdit", Prefix + "format"), .values = {{"format", "HH:mm"}}, .defaults = true, .shows = "HH:mm", .edit = [](QWidget *w) { type(w, ""); }, .written = "format=HH:mm:QString"},
    {.name = "line_edit_keeps_a_number_a_number", .control = control("QLineEdit", Prefix + "interval"), .values = {{"interval", 300}}, .defaults = false, .shows = "300", .edit = [](QWidget *w) { type(w, "60"); }, .written = "interval=60:int"},
    {.name = "plugin_adjusts_a_value", .control = control("QLineEdit", Prefix + "colour"), .values = {{"colour", "#00ff00"}}, .defaults = false, .shows = "#00ff00", .edit = [](QWidget *w) { type(w, "red"); }, .written = "colour=#ff0000:QString"},
    {.name = "plugin_refuses_a_value", .control = control("QLineEdit", Prefix + "colour"), .values = {{"colour", "#00ff00"}}, .defaults = false, .shows = "#00ff00", .edit = [](QWidget *w) { type(w, "nope"); }, .written = ""},
    {.name = "spin_box_stores_the_typed_number_once", .control = control("QSpinBox", Prefix + "interval", "<property name=\"maximum\"><number>999</number></property>"), .values = {{"interval", 300}}, .defaults = false, .shows = 300, .edit = [](QWidget *w) { type(w, "120"); }, .written = "interval=120:int"},
    {.name = "check_box_shows_the_default_and_stores_a_click", .control = control("QCheckBox", Prefix + "showSeconds"), .values = {{"showSeconds", false}}, .defaults = true, .shows = false, .edit = [](QWidget *w) { static_cast<QAbstractButton *>(w)->click(); }, .written = "showSeconds=true:bool"},
    {.name = "combo_box_stores_the_chosen_item", .control = control("QComboBox", Prefix + "mode", "<item><property name=\"text\"><string>A</string></property></item>" "<item><property name=\"text\"><string>B</string></property></item>" "<item><property name=\"text\"><string>C</string></property></item>"), .values = {{"mode", "B"}}, .defaults = false, .shows = "B", .edit = [](QWidget *w) { static_cast<QComboBox *>(w)->setCurrentIndex(2); }, .written = "mode=C:QString"},
    {.name = "editable_combo_box_stores_typed_text_when_editing_ends", .control = control("QComboBox", Prefix + "format", "<property name=\"editable\"><bool>true</bool></property>" "<item><property name=\"text\"><string>hh:mm</string></property></item>"), .values = {{"format", "hh:mm"}}, .defaults = true, .shows = "hh:mm", .edit = [](QWidget *w) { type(static_cast<QComboBox *>(w)->lineEdit(), "mm:ss"); }, .written = "format=mm:ss:QString"},
    {.name = "plain_text_edit_shows_a_list_a_line_each_and_stores_it_on_leaving", .control = control("QPlainTextEdit", Prefix + "arguments"), .values = {{"arguments", QStringList{"-a", "-b"}}}, .defaults = false, .shows = "-a\n-b", .edit = [](QWidget *w) { QTest::keyClick(w, Qt::Key_End, Qt::ControlModifier); QTest::keyClick(w, Qt::Key_Return); QTest::keyClicks(w, "-c"); QFocusEvent leave(QEvent::FocusOut); QCoreApplication::sendEvent(w, &leave); }, .written = "arguments=-a,-b,-c:QStringList"},
};
// clang-format on

class BoundControl : public SettingsViewTest, public ::testing::WithParamInterface<BindingRow>
{
};

TEST_P(BoundControl, ShowsTheSettingStoresOneChangePerEditAndFollowsTheProxy)
{
    const BindingRow &row = GetParam();
    const QVariantMap stored = row.defaults ? QVariantMap() : row.values;
    instance.defaults = row.defaults ? row.values : QVariantMap();
    proxy.setSettings(stored);
    const QString file = write(form(row.control));
    PluginSettingsView view(file, &proxy);
    ASSERT_EQ(view.bindingCount(), 1);
    QWidget *widget = view.findChild<QWidget *>("control");
    const QMetaProperty user = widget->metaObject()->userProperty();
    EXPECT_EQ(user.read(widget), row.shows);

    row.edit(widget);
    EXPECT_EQ(instance.written, *row.written ? QStringList{QLatin1String(row.written)} : QStringList());
    // The control shows what is stored now, as a view opened afresh does.
    const PluginSettingsView fresh(file, &proxy);
    EXPECT_EQ(user.read(widget), user.read(fresh.findChild<QWidget *>("control")));

    // Another key selected: the control follows without storing anything.
    const qsizetype writes = instance.written.size();
    proxy.setSettings(stored);
    EXPECT_EQ(user.read(widget), row.shows);
    EXPECT_EQ(instance.written.size(), writes);
}

INSTANTIATE_TEST_SUITE_P(Rows, BoundControl, ::testing::ValuesIn(kBindings), RowName());

TEST_F(SettingsViewTest, ChooserButtonStoresWhatTheUserPicks)
{
    const QByteArray button =
        "<item><widget class=\"QPushButton\" name=\"choose\"><property name=\"chooseFile\" "
        "stdset=\"0\"><string>" +
        Prefix + "filePath</string></property></widget></item>";
    proxy.setSettings({{"filePath", "/old.gif"}});
    PluginSettingsView view(write(form(control("QLineEdit", Prefix + "filePath") + button)), &proxy);
    QVariant offered;
    view.setChooser([&](PluginSettingsView::Choice, const QVariant &current, const QString &, QWidget *) {
        offered = current;
        return QVariant(QStringLiteral("/new.gif"));
    });
    view.findChild<QAbstractButton *>("choose")->click();
    EXPECT_EQ(offered, "/old.gif");
    EXPECT_EQ(instance.written, QStringList{"filePath=/new.gif:QString"});
    EXPECT_EQ(view.findChild<QLineEdit *>("control")->text(), "/new.gif");
}

TEST_F(SettingsViewTest, BindingOfAnotherPluginIsIgnoredWithOneLine)
{
    LogCapture log;
    PluginSettingsView view(write(form(control("QLineEdit", "brevona_display_clock.format") +
                                       control("QLabel", Prefix + "format"))),
                            &proxy);
    EXPECT_EQ(view.bindingCount(), 0);
    EXPECT_EQ(log.count("which is no setting of brevona.display.my_clock"), 1);
    EXPECT_EQ(log.count("has no user property"), 1);
    type(view.findChild<QLineEdit *>("control"), "x");
    EXPECT_TRUE(instance.written.isEmpty());
}

// A window closing takes the focus from its line edit on the way out: the view must not look up
// its bindings after they are gone, nor store a half-typed value.
TEST_F(SettingsViewTest, AClosingWindowWithAFocusedEditStoresNothing)
{
    auto view =
        std::make_unique<PluginSettingsView>(write(form(control("QLineEdit", Prefix + "format"))), &proxy);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    auto *edit = view->findChild<QLineEdit *>("control");
    edit->setFocus();
    edit->setText("half");
    view.reset();
    EXPECT_TRUE(instance.written.isEmpty());
}

TEST_F(SettingsViewTest, NoDesignerPluginIsLoaded)
{
    PluginSettingsView view(write(form(control("QLineEdit", Prefix + "format"))), &proxy);
    QFile maps(QStringLiteral("/proc/self/maps"));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    EXPECT_FALSE(maps.readAll().contains("/designer/")) << "third-party code ran to show a settings view";
}

struct BrokenRow
{
    const char *name = "";
    QByteArray content = {}; // empty: no file at all
    bool loaded = false;
    int bindings = 0;
    const char *logged = ""; // the one line
};

QByteArray nested(int depth)
{
    QByteArray open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<widget class=\"QWidget\" name=\"w" + QByteArray::number(i) + "\">";
        close += "</widget>";
    }
    return "<ui version=\"4.0\">" + open + close + "</ui>";
}

// clang-format off
const BrokenRow kBroken[] = {
    {.name = "missing_file", .loaded = false, .logged = "Cannot load the settings view"},
    {.name = "oversized", .content = form(control("QLineEdit", Prefix + "format")) + "<!--" + QByteArray(300 * 1024, 'x') + "-->", .loaded = false, .logged = "larger than 256 KiB"},
    {.name = "malformed_xml", .content = form(control("QLineEdit", Prefix + "format")).chopped(20), .loaded = false, .logged = "Cannot load the settings view"},
    {.name = "nested_without_end", .content = nested(400), .loaded = false, .logged = "nested more than 100 deep"},
    {.name = "unknown_form_class", .content = "<ui version=\"4.0\"><widget class=\"Nope\" name=\"F\"/></ui>", .loaded = false, .logged = "Cannot load the settings view"},
    {.name = "unknown_widget_and_layout_classes_leave_the_rest", .content = form(control("QFancyThing", Prefix + "format") + control("QLineEdit", Prefix + "format") + "<item><layout class=\"QFooLayout\" name=\"foo\"/></item>"), .loaded = true, .bindings = 1, .logged = "is shown without what cannot be built"},
};
// clang-format on

class BrokenFile : public SettingsViewTest, public ::testing::WithParamInterface<BrokenRow>
{
};

TEST_P(BrokenFile, IsShownEmptyOrInPartWithOneLogLine)
{
    const BrokenRow &row = GetParam();
    const QString path = row.content.isEmpty() ? folder.filePath("none.ui") : write(row.content);
    LogCapture log;
    PluginSettingsView view(path, &proxy);
    EXPECT_EQ(view.isLoaded(), row.loaded);
    EXPECT_EQ(view.bindingCount(), row.bindings);
    ASSERT_EQ(log.messages().size(), 1) << qPrintable(log.messages().join('\n'));
    EXPECT_TRUE(log.messages().first().contains(QLatin1String(row.logged)))
        << qPrintable(log.messages().first());
}

INSTANTIATE_TEST_SUITE_P(Rows, BrokenFile, ::testing::ValuesIn(kBroken), RowName());

struct SampleRow
{
    const char *name = "";
    const char *signature = "";
    int bindings = 0; // controls and chooser buttons
};

// clang-format off
const SampleRow kSamples[] = {
    {.name = "Clock", .signature = "brevona.display.general.clock", .bindings = 5},
    {.name = "Command", .signature = "brevona.action.general.command", .bindings = 3},
    {.name = "Picture", .signature = "brevona.display.general.picturefile", .bindings = 2},
    {.name = "WebPicture", .signature = "brevona.display.internet.webpicture", .bindings = 2},
    {.name = "Animation", .signature = "brevona.display.general.animation", .bindings = 2},
};
// clang-format on

class SampleView : public ::testing::TestWithParam<SampleRow>
{
};

// The views the sample bundles install bind every control they show, and nothing else.
TEST_P(SampleView, BindsAllItsControlsSilently)
{
    const SampleRow &row = GetParam();
    Instance instance;
    KCSettingsProxy proxy(QLatin1String(row.signature), instance);
    LogCapture log;
    PluginSettingsView view(QStringLiteral(BREVONA_SAMPLE_PLUGIN_DIR "/%1.plugin/Contents/Resources/%2.ui")
                                .arg(QLatin1String(row.name), QLatin1String(row.signature)),
                            &proxy);
    EXPECT_TRUE(view.isLoaded());
    EXPECT_EQ(view.bindingCount(), row.bindings);
    EXPECT_TRUE(log.messages().isEmpty()) << qPrintable(log.messages().join('\n'));
}

INSTANTIATE_TEST_SUITE_P(Rows, SampleView, ::testing::ValuesIn(kSamples), RowName());

} // namespace
} // namespace brevona::test
