#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include "DriverCommandSink.h"
#include "LayersCommandLine.h"
#include "PropertyList.h"
#include "TestHome.h"
#include "TestPrinters.h"

using namespace brevona;

namespace {

class RecordingSink : public DriverCommandSink
{
public:
    void sendCommand(const QString &command, const QVariantMap &) override { commands.append(command); }
    QStringList commands;
};

// Every file of the store with its bytes: "nothing changed" means this is equal before and after.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(root).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

class LayersTool : public testing::Test
{
protected:
    struct Result
    {
        int status = -1;
        QString out;
        QString err;
    };

    Result run(const QStringList &arguments)
    {
        Result result;
        QTextStream out(&result.out);
        QTextStream err(&result.err);
        result.status = LayersCommandLine(out, err, store(), &sink).run(arguments);
        return result;
    }
    // Runs `lines` as one batch file.
    Result batch(const QStringList &lines)
    {
        QFile file(QDir(home.path()).filePath(QStringLiteral("batch.txt")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lines.join(QLatin1Char('\n')).toUtf8());
        file.close();
        return run({QStringLiteral("--batch"), file.fileName()});
    }
    QString store() const { return QDir(home.dataHome()).filePath(QStringLiteral("Lumivox/Layers")); }
    // The titles of the tree in list order, a group's children in brackets.
    QString titles()
    {
        const auto listed =
            PropertyList::fromData(run({QStringLiteral("--plist"), QStringLiteral("list")}).out.toUtf8());
        const auto walk = [](const auto &self, const QVariantList &items) -> QString {
            QStringList parts;
            for (const QVariant &item : items) {
                const QVariantMap map = item.toMap();
                QString part = map.value(QStringLiteral("Title")).toString();
                if (map.contains(QStringLiteral("Items")))
                    part += QLatin1Char('[') + self(self, map.value(QStringLiteral("Items")).toList()) +
                            QLatin1Char(']');
                parts.append(part);
            }
            return parts.join(QLatin1Char(' '));
        };
        return listed ? walk(walk, listed->toList()) : QStringLiteral("(unreadable)");
    }

    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        QImage red(48, 48, QImage::Format_RGB32);
        red.fill(Qt::red);
        picture = QDir(home.path()).filePath(QStringLiteral("red.png"));
        ASSERT_TRUE(red.save(picture));
        // Work[Mail] Games(key A) Notes, and a second "Twin" in each of root and Work.
        const Result made = batch({
            QStringLiteral("new-group --title Work"),
            QStringLiteral("new-layer --in Work --title Mail"),
            QStringLiteral("new-layer --after Work/%1 --title Twin").arg(QStringLiteral("Mail")),
            QStringLiteral("new-layer --title Notes"),
            QStringLiteral("new-layer --title Games"),
            QStringLiteral("new-layer --after Notes --title Twin"),
            QStringLiteral("set-key Games A ") + picture,
        });
        ASSERT_EQ(made.status, 0) << made.err.toStdString();
        sink.commands.clear();
    }

    test::TestHome home;
    RecordingSink sink;
    QString picture;
};

TEST_F(LayersTool, SetUpBuildsTheTreeThroughTitlesAndPaths)
{
    EXPECT_EQ(titles(), QStringLiteral("Games Notes Twin Work[Mail Twin]"));
}

struct Refusal
{
    const char *name;
    QStringList arguments;
    int status;
    const char *says;
};

class LayersToolRefuses : public LayersTool, public testing::WithParamInterface<Refusal>
{
};

// Bad input: one line on standard error, the status, and nothing changed or sent.
TEST_P(LayersToolRefuses, WithOneLineAndChangesNothing)
{
    const Refusal &row = GetParam();
    const auto before = snapshot(store());
    const Result result = run(row.arguments);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.err.count(QLatin1Char('\n')), 1) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String(row.says))) << result.err.toStdString();
    EXPECT_EQ(snapshot(store()), before);
    EXPECT_EQ(sink.commands, QStringList());
}

// clang-format off
const Refusal kRefusals[] = {
    {.name = "NoArguments", .arguments = {}, .status = 2, .says = "subcommand is missing"},
    {.name = "UnknownSubcommand", .arguments = {"paint"}, .status = 2, .says = "unknown subcommand paint"},
    {.name = "UnknownOption", .arguments = {"new-layer", "--colour", "red"}, .status = 2, .says = "colour"},
    {.name = "MissingArgument", .arguments = {"rename", "Games"}, .status = 2, .says = "ITEM TITLE"},
    {.name = "UnknownItem", .arguments = {"enable", "Nothing"}, .status = 2, .says = "no layer or group is named Nothing"},
    {.name = "AmbiguousTitle", .arguments = {"disable", "Twin"}, .status = 2, .says = "2 items are named Twin"},
    {.name = "HybridWord", .arguments = {"hybrid", "Games", "maybe"}, .status = 2, .says = "on or off"},
    {.name = "UnreadablePicture", .arguments = {"set-key", "Games", "B", "/nonexistent.png"}, .status = 2, .says = "cannot be read as a picture"},
    {.name = "UnknownPlugin", .arguments = {"set-key", "Games", "B", "--display", "brevona.test.none"}, .status = 2, .says = "not an installed display plugin"},
    {.name = "SettingBeforePlugin", .arguments = {"set-key", "Games", "B", "--setting", "x=1"}, .status = 2, .says = "comes before --display"},
    {.name = "NothingToSet", .arguments = {"set-key", "Games", "B"}, .status = 2, .says = "needs a PICTURE"},
    {.name = "KeyWithoutDisplay", .arguments = {"clear-key", "Games", "NoSuchKey"}, .status = 2, .says = "NoSuchKey"},
    {.name = "CopyMissingKey", .arguments = {"copy-keys", "Games", "Notes", "A", "NoSuchKey"}, .status = 2, .says = "no key NoSuchKey"},
    {.name = "BackgroundDelete", .arguments = {"delete", "ControlButtons"}, .status = 2, .says = "background layer"},
    {.name = "DeleteKeysUnasked", .arguments = {"delete", "Games"}, .status = 2, .says = "--yes"},
    {.name = "NewLayerAfterGroup", .arguments = {"new-layer", "--after", "Work"}, .status = 2, .says = "--in"},
    {.name = "NewLayerInLayer", .arguments = {"new-layer", "--in", "Games"}, .status = 2, .says = "--after"},
    {.name = "MoveWithoutTarget", .arguments = {"move", "Games"}, .status = 2, .says = "--to"},
    {.name = "MoveGroupIntoGroup", .arguments = {"move", "Work", "--to", "Work"}, .status = 2, .says = "top level"},
    {.name = "MoveIntoLayer", .arguments = {"move", "Notes", "--to", "Games"}, .status = 2, .says = "not a group"},
    {.name = "NegativeIndex", .arguments = {"move", "Notes", "--to", "root", "--index", "-1"}, .status = 2, .says = "--index"},
    {.name = "RenderGroup", .arguments = {"render", "Work", "/tmp/never.png"}, .status = 2, .says = "group"},
    {.name = "UndoOutsideBatch", .arguments = {"undo"}, .status = 2, .says = "--batch"},
    {.name = "MissingBatchFile", .arguments = {"--batch", "/nonexistent/batch"}, .status = 2, .says = "cannot read"},
    {.name = "LabelsWithoutKey", .arguments = {"labels"}, .status = 2, .says = "needs a control key"},
    {.name = "LabelNotOffered", .arguments = {"labels", "Esc", "No", "such"}, .status = 2, .says = "not one of the labels of Esc"},
    {.name = "LabelAndReset", .arguments = {"labels", "Esc", "Quit", "--reset"}, .status = 2, .says = "not both"},
    {.name = "FontUnknownLanguage", .arguments = {"font", "Klingon", "--size", "20"}, .status = 2, .says = "needs a language layer"},
    {.name = "FontSizeWord", .arguments = {"font", "us", "--size", "big"}, .status = 2, .says = "not a size"},
    {.name = "FontColourWord", .arguments = {"font", "us", "--colour", "reddish"}, .status = 2, .says = "not a colour"},
    {.name = "FontModifiers", .arguments = {"font", "us", "--modifiers", "Hyper", "--size", "20"}, .status = 2, .says = "no modifier combination"},
    {.name = "FontFamily", .arguments = {"font", "us", "--family", "No Such Family"}, .status = 2, .says = "regular member"},
    {.name = "FontKey", .arguments = {"font", "us", "--keys", "Esc", "--size", "20"}, .status = 2, .says = "Esc is not a key"},
    {.name = "FontBoldWord", .arguments = {"font", "us", "--bold", "yes"}, .status = 2, .says = "on or off"},
    {.name = "FontMissingValue", .arguments = {"font", "us", "--size"}, .status = 2, .says = "needs a value"},
    {.name = "ExportWithoutItem", .arguments = {"export", "/tmp/never.layers"}, .status = 2, .says = "PATH ITEM"},
    {.name = "ExportUnknownKind", .arguments = {"export", "--kind", "movie", "/tmp/never", "Games"}, .status = 2, .says = "not movie"},
    {.name = "ExportUnknownItem", .arguments = {"export", "/tmp/never.layers", "Nothing"}, .status = 2, .says = "no layer or group is named Nothing"},
    {.name = "ExportIntoMissingFolder", .arguments = {"export", "/nonexistent/never.layers", "Notes"}, .status = 1, .says = "cannot be written"},
    {.name = "ImportButtons", .arguments = {"import", "--kind", "buttons", "/tmp/set"}, .status = 2, .says = "a template is a picture"},
    {.name = "ImportArchiveInto", .arguments = {"import", "/tmp/set.layers", "--into", "Games"}, .status = 2, .says = "--into is for pictures"},
    {.name = "ImportMissingArchive", .arguments = {"import", "/nonexistent/set.layers"}, .status = 1, .says = "cannot be read"},
    {.name = "ImportMissingPicture", .arguments = {"import", "/nonexistent/painted.png"}, .status = 1, .says = "not a picture the configurator can read"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, LayersToolRefuses, testing::ValuesIn(kRefusals), test::RowName());

struct Edit
{
    const char *name;
    QStringList lines;
    const char *titles;
    QStringList commands;
};

class LayersToolEdits : public LayersTool, public testing::WithParamInterface<Edit>
{
};

// The tool's own mapping onto the layer manager: names, positions (the top level counts the list's
// header row), one command per edit, and undo within a batch.
TEST_P(LayersToolEdits, ReachTheTreeAndTheDriver)
{
    const Edit &row = GetParam();
    const Result result = batch(row.lines);
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(titles(), QLatin1String(row.titles));
    EXPECT_EQ(sink.commands, row.commands);
}

// clang-format off
const Edit kEdits[] = {
    {.name = "MoveToTopLevelIndex", .lines = {"move Notes --to root --index 0"}, .titles = "Notes Games Twin Work[Mail Twin]", .commands = {"LayersMoved"}},
    {.name = "MoveToEndOfGroup", .lines = {"move Games --to Work"}, .titles = "Notes Twin Work[Mail Twin Games]", .commands = {"LayersMoved"}},
    {.name = "DeleteWithYes", .lines = {"delete Games Work --yes"}, .titles = "Notes Twin", .commands = {"ItemsDeleted"}},
    {.name = "UndoRedoUndo", .lines = {"rename Notes Ideas", "disable Ideas", "undo", "undo", "redo"}, .titles = "Games Ideas Twin Work[Mail Twin]", .commands = {"LayerVisibilityChanged", "LayerVisibilityChanged"}},
    {.name = "ClearKey", .lines = {"clear-key Games A"}, .titles = "Games Notes Twin Work[Mail Twin]", .commands = {"ButtonsDeleted"}},
    {.name = "CopyKeys", .lines = {"copy-keys Games Notes", "clear-key Notes A"}, .titles = "Games Notes Twin Work[Mail Twin]", .commands = {"ButtonsChanged", "ButtonsDeleted"}},
    {.name = "Label", .lines = {"labels Esc \u238b", "labels Esc --reset"}, .titles = "Games Notes Twin Work[Mail Twin]", .commands = {"ButtonsChanged", "ButtonsChanged"}},
    {.name = "FontColour", .lines = {"font us --keys Q,W --colour #ff0000 --size 60"}, .titles = "Games Notes Twin Work[Mail Twin]", .commands = {"ButtonsChanged"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, LayersToolEdits, testing::ValuesIn(kEdits), test::RowName());

TEST_F(LayersTool, PluginsAreListedInTheEditorsOrderAndSetOnKeys)
{
    home.setEnvironment("BREVONA_SYSTEM_PLUGIN_DIR", QStringLiteral(BREVONA_TEST_PLUGIN_DIR));
    const Result listed = run({QStringLiteral("--plist"), QStringLiteral("plugins")});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    QStringList rows;
    for (const QVariant &entry : PropertyList::fromData(listed.out.toUtf8()).value_or(QVariant()).toList()) {
        const QVariantMap map = entry.toMap();
        rows << map.value("Kind").toString() + " " + map.value("Category").toString() + " " +
                    map.value("Signature").toString();
    }
    ASSERT_GE(rows.size(), 3);
    EXPECT_EQ(rows.first(), "DisplayPlugin general lumivox.picture");
    EXPECT_TRUE(rows.contains("DisplayPlugin other brevona.test.probe")) << rows.join('\n').toStdString();
    EXPECT_EQ(rows.last(), "ActionPlugin other brevona.test.action");
    EXPECT_EQ(run({QStringLiteral("plugins"), QStringLiteral("extra")}).status, 2);

    const Result set = run({"set-key", "Games", "B", "--display", "brevona.test.probe", "--setting", "x=2",
                            "--setting", "on=true", "--action", "brevona.test.action"});
    ASSERT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_EQ(sink.commands, QStringList{"ButtonsChanged"});
    const auto shown = PropertyList::fromData(run({"--plist", "show", "Games"}).out.toUtf8());
    const QVariantMap key = shown.value_or(QVariant()).toMap().value("Keys").toMap().value("B").toMap();
    EXPECT_EQ(key.value("Display"), "brevona.test.probe");
    EXPECT_EQ(key.value("DisplaySettings").toMap(), (QVariantMap{{"x", 2}, {"on", true}}));
    EXPECT_EQ(key.value("Action"), "brevona.test.action");
}

TEST_F(LayersTool, BatchStopsAtTheFirstFailingLine)
{
    const Result result = batch({QStringLiteral("rename Notes Ideas"), QStringLiteral("# a comment"),
                                 QStringLiteral("enable Nothing"), QStringLiteral("rename Games Never")});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.err.contains(QLatin1String("line 3"))) << result.err.toStdString();
    EXPECT_EQ(titles(), QStringLiteral("Games Ideas Twin Work[Mail Twin]"));
}

struct Render
{
    const char *name;
    QStringList before; // batch lines run first
    QStringList arguments;
    bool red; // the red key A shows somewhere
};

class LayersToolRenders : public LayersTool, public testing::WithParamInterface<Render>
{
};

// One layer's own picture, and the keyboard as the driver's composition shows it: a layer that is
// switched off is not in it.
TEST_P(LayersToolRenders, WritesThePicture)
{
    const Render &row = GetParam();
    if (!row.before.isEmpty()) {
        ASSERT_EQ(batch(row.before).status, 0);
    }
    const QString file = QDir(home.path()).filePath(QStringLiteral("out.png"));
    const Result result = run(QStringList{QStringLiteral("render")} + row.arguments + QStringList{file});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    const QImage rendered(file);
    ASSERT_EQ(rendered.size(), QSize(1312, 376));
    bool red = false;
    for (int y = 0; y < rendered.height() && !red; y += 4)
        for (int x = 0; x < rendered.width() && !red; x += 4)
            red = rendered.pixelColor(x, y) == QColor(Qt::red);
    EXPECT_EQ(red, row.red);
}

// clang-format off
const Render kRenders[] = {
    {.name = "Layer", .before = {}, .arguments = {"Games"}, .red = true},
    {.name = "Keyboard", .before = {}, .arguments = {"--keyboard"}, .red = true},
    {.name = "KeyboardWithoutDisabledLayer", .before = {"disable Games"}, .arguments = {"--keyboard"}, .red = false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, LayersToolRenders, testing::ValuesIn(kRenders), test::RowName());

} // namespace

namespace {

TEST_F(LayersTool, ExportedArchiveImportsIntoANewGroup)
{
    const QString archive = QDir(home.path()).filePath(QStringLiteral("mine.layers"));
    const Result exported = run({"export", archive, "Work", "Games"});
    ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
    EXPECT_EQ(exported.out.trimmed(), archive);
    const Result imported = run({"--plist", "import", archive});
    ASSERT_EQ(imported.status, 0) << imported.err.toStdString();
    const QVariantMap report = PropertyList::fromData(imported.out.toUtf8()).value_or(QVariant()).toMap();
    EXPECT_EQ(report.value("Layers").toInt(), 3);
    EXPECT_EQ(report.value("Groups").toStringList().size(), 1);
    EXPECT_EQ(titles(), QStringLiteral("New Group[Games Mail Twin] Games Notes Twin Work[Mail Twin]"));
    EXPECT_EQ(sink.commands, QStringList({"ItemCreated"}));
}

TEST_F(LayersTool, ButtonsAndTemplateAreWrittenForALayer)
{
    const QString folder = QDir(home.path()).filePath(QStringLiteral("set"));
    const Result buttons = run({"export", "--kind", "buttons", folder, "Games"});
    ASSERT_EQ(buttons.status, 0) << buttons.err.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"060.sys"})) << "A is display 60";
    const Result painted =
        run({"export", "--kind", "template", QDir(home.path()).filePath("games.png"), "Games"});
    ASSERT_EQ(painted.status, 0) << painted.err.toStdString();
    const QString tiff = QDir(home.path()).filePath("games.tiff");
    EXPECT_EQ(painted.out.trimmed(), tiff);
    // The template painted elsewhere comes back into the layer it came from.
    const Result back = run({"import", tiff, "--into", "Games"});
    ASSERT_EQ(back.status, 0) << back.err.toStdString();
}

} // namespace
