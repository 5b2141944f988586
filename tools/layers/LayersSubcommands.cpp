#include "LayersSubcommands.h"

#include <array>

#include <QCommandLineParser>
#include <QSaveFile>
#include <QTextStream>

#include "ApplicationsHelper.h"
#include "KCConditionsManager.h"
#include "KCDisplayActionManager.h"
#include "KCGroupLayer.h"
#include "KCLayer.h"
#include "KCPluginManager.h"
#include "LanguagesHelper.h"
#include "LayersTextKeys.h"
#include "LayerPicture.h"
#include "LayersComposition.h"
#include "LayersConditions.h"
#include "LayersExchange.h"
#include "LayersKeyPlugins.h"
#include "LayersReport.h"
#include "PropertyList.h"

namespace brevona {

namespace {

struct OptionEntry
{
    QStringList names;
    QString valueName; // empty: a switch
    QString description;
};

const OptionEntry TitleOption{
    {QStringLiteral("title")}, QStringLiteral("TITLE"), QStringLiteral("The item's title (none: untitled).")};

// Undo and redo replay edits of this process only: the history is not kept between runs.
const QString UndoOutsideBatch =
    QStringLiteral("undo and redo reach only the edits of the same run: use them in a --batch file");

} // namespace

struct LayersSubcommands::Entry
{
    QString name = {};
    QString arguments = {};
    QString summary = {};
    int minimum = 0; // positional arguments
    int maximum = 0; // -1: any number
    QList<OptionEntry> options = {};
    int (LayersSubcommands::*handler)(const QCommandLineParser &) = nullptr;
    bool readsOnly = false;
};

const LayersSubcommands::Entry *LayersSubcommands::find(const QString &name)
{
    static const std::array<Entry, 18> entries{{
        {.name = QStringLiteral("list"),
         .summary = QStringLiteral("Lists the user's layers and groups, top first."),
         .handler = &LayersSubcommands::list,
         .readsOnly = true},
        {.name = QStringLiteral("show"),
         .arguments = QStringLiteral("ITEM"),
         .summary = QStringLiteral("Shows an item: title, state, keys and conditions. ITEM (here "
                                   "and everywhere) is an identifier, a title held by one item only, "
                                   "GROUP/ITEM, or a background layer (Language0, ControlButtons)."),
         .minimum = 1,
         .maximum = 1,
         .handler = &LayersSubcommands::show,
         .readsOnly = true},
        {.name = QStringLiteral("new-layer"),
         .summary = QStringLiteral("Creates an empty layer and prints its identifier: at the top, "
                                   "right after --after LAYER, or at the end of --in GROUP."),
         .options = {TitleOption,
                     {{QStringLiteral("after")},
                      QStringLiteral("LAYER"),
                      QStringLiteral("Place it after this layer.")},
                     {{QStringLiteral("in")},
                      QStringLiteral("GROUP"),
                      QStringLiteral("Place it last in this group.")}},
         .handler = &LayersSubcommands::newLayer},
        {.name = QStringLiteral("new-group"),
         .summary = QStringLiteral("Creates an empty group at the top level and prints its identifier: "
                                   "at the top, or after the top-level entry of --after ITEM."),
         .options = {TitleOption,
                     {{QStringLiteral("after")},
                      QStringLiteral("ITEM"),
                      QStringLiteral("Place it after this item.")}},
         .handler = &LayersSubcommands::newGroup},
        {.name = QStringLiteral("delete"),
         .arguments = QStringLiteral("ITEM..."),
         .summary = QStringLiteral("Deletes items with their folders. A layer with keys or a group "
                                   "with layers is deleted only with --yes."),
         .minimum = 1,
         .maximum = -1,
         .options =
             {{{QStringLiteral("yes"), QStringLiteral("y")}, {}, QStringLiteral("Delete without asking.")}},
         .handler = &LayersSubcommands::remove},
        {.name = QStringLiteral("rename"),
         .arguments = QStringLiteral("ITEM TITLE"),
         .summary = QStringLiteral("Gives an item a new title; \"Trash\" also switches it off."),
         .minimum = 2,
         .maximum = 2,
         .handler = &LayersSubcommands::rename},
        {.name = QStringLiteral("enable"),
         .arguments = QStringLiteral("ITEM"),
         .summary = QStringLiteral("Switches an item on."),
         .minimum = 1,
         .maximum = 1,
         .handler = &LayersSubcommands::enable},
        {.name = QStringLiteral("disable"),
         .arguments = QStringLiteral("ITEM"),
         .summary = QStringLiteral("Switches an item off."),
         .minimum = 1,
         .maximum = 1,
         .handler = &LayersSubcommands::disable},
        {.name = QStringLiteral("hybrid"),
         .arguments = QStringLiteral("LAYER on|off"),
         .summary = QStringLiteral("Lets the keys a layer does not define show the layers below (on), "
                                   "or not (off)."),
         .minimum = 2,
         .maximum = 2,
         .handler = &LayersSubcommands::hybrid},
        {.name = QStringLiteral("move"),
         .arguments = QStringLiteral("ITEM..."),
         .summary = QStringLiteral("Moves items into --to GROUP (or \"root\", the top level) at --index "
                                   "(0 first; none: last). Groups move only within the top level."),
         .minimum = 1,
         .maximum = -1,
         .options =
             {{{QStringLiteral("to")}, QStringLiteral("GROUP"), QStringLiteral("The target group, or root.")},
              {{QStringLiteral("index")},
               QStringLiteral("N"),
               QStringLiteral("The position in the target.")}},
         .handler = &LayersSubcommands::move},
        {.name = QStringLiteral("conditions"),
         .arguments = QStringLiteral("ITEM [list | add KIND [VALUE...] | set ROW VALUE... | remove ROW]"),
         .summary = LayersConditions::summary(),
         .minimum = 1,
         .maximum = -1,
         .handler = &LayersSubcommands::conditions},
        {.name = QStringLiteral("set-key"),
         .arguments = QStringLiteral("LAYER KEY [PICTURE] [--display SIGNATURE [--setting KEY=VALUE]...] "
                                     "[--action SIGNATURE [--setting KEY=VALUE]...]"),
         .summary = QStringLiteral("Shows the picture file (PNG, JPEG, TIFF, ...) on KEY in LAYER, fitted "
                                   "to the key's 48 x 48 display, and/or gives the key a display or action "
                                   "plugin with the settings that follow it (brevona-layers plugins lists "
                                   "them; --action default.keystroke makes the key act normally again)."),
         .minimum = 2,
         .maximum = 3,
         .options =
             {{{QStringLiteral("display")}, QStringLiteral("SIGNATURE"), QStringLiteral("A display plugin.")},
              {{QStringLiteral("action")}, QStringLiteral("SIGNATURE"), QStringLiteral("An action plugin.")},
              {{QStringLiteral("setting")},
               QStringLiteral("KEY=VALUE"),
               QStringLiteral("A setting of the plugin named before it.")}},
         .handler = &LayersSubcommands::setKey},
        {.name = QStringLiteral("clear-key"),
         .arguments = QStringLiteral("LAYER KEY"),
         .summary = QStringLiteral("Removes KEY from LAYER, with its picture and plugins."),
         .minimum = 2,
         .maximum = 2,
         .handler = &LayersSubcommands::clearKey},
        {.name = QStringLiteral("copy-keys"),
         .arguments = QStringLiteral("SOURCE TARGET [KEY...]"),
         .summary = QStringLiteral("Copies the KEYs (all keys when none is named) of layer SOURCE onto the "
                                   "keys of the same names in layer TARGET, with their pictures and "
                                   "plugins, replacing what those keys had."),
         .minimum = 2,
         .maximum = -1,
         .handler = &LayersSubcommands::copyKeys},
        {.name = QStringLiteral("render"),
         .arguments = QStringLiteral("ITEM FILE | --keyboard FILE"),
         .summary = QStringLiteral("Writes the picture of a layer (all its keys, as the keyboard shows "
                                   "them) to FILE; the format follows its name (.png, .tiff, ...). With "
                                   "--keyboard, the picture the keyboard shows now: the visible layers "
                                   "composed as the driver composes them."),
         .minimum = 1,
         .maximum = 2,
         .options = {{{QStringLiteral("keyboard")}, {}, QStringLiteral("Compose every visible layer.")}},
         .handler = &LayersSubcommands::render,
         .readsOnly = true},
        {.name = QStringLiteral("repair"),
         .summary = QStringLiteral("Writes whatever is missing of the built-in background layers; "
                                   "never overwrites a file."),
         .handler = &LayersSubcommands::repair},
        {.name = QStringLiteral("undo"),
         .summary = QStringLiteral("Takes back the last edit of this --batch run."),
         .handler = &LayersSubcommands::undo},
        {.name = QStringLiteral("redo"),
         .summary = QStringLiteral("Does again the last edit undone in this --batch run."),
         .handler = &LayersSubcommands::redo},
    }};
    for (const Entry &entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

bool LayersSubcommands::Confirmation::confirmDelete(const QString &, const QString &informative)
{
    question = informative;
    return allowed;
}

LayersSubcommands::LayersSubcommands(KCLayerManager &manager, Confirmation &confirmation, QTextStream &out,
                                     QTextStream &err)
    : m_manager(manager)
    , m_confirmation(confirmation)
    , m_out(out)
    , m_err(err)
{}

bool LayersSubcommands::exists(const QString &name)
{
    return find(name) != nullptr;
}

bool LayersSubcommands::readsOnly(const QString &name)
{
    const Entry *entry = find(name);
    return entry && entry->readsOnly;
}

QString LayersSubcommands::usage()
{
    QString text = QStringLiteral(
        "Usage: brevona-layers [--plist] [--verbose] SUBCOMMAND [ARGUMENTS]\n"
        "       brevona-layers [--plist] [--verbose] --batch FILE|-\n"
        "Reads and edits the layer store as the configurator does, and tells a running BrevonaDriver,\n"
        "so the keyboard follows. --batch runs one subcommand per line (# starts a comment) and stops\n"
        "at the first that fails; undo and redo work within it. --plist prints property lists;\n"
        "--verbose adds the log of the configurator's components on standard error.\n"
        "Exit status: 0 done, 1 failed (nothing changed), 2 bad input (nothing changed).\n\n"
        "Subcommands (SUBCOMMAND --help for each):\n");
    for (const QString &name :
         {QStringLiteral("list"), QStringLiteral("show"), QStringLiteral("new-layer"),
          QStringLiteral("new-group"), QStringLiteral("delete"), QStringLiteral("rename"),
          QStringLiteral("enable"), QStringLiteral("disable"), QStringLiteral("hybrid"),
          QStringLiteral("move"), QStringLiteral("conditions"), QStringLiteral("set-key"),
          QStringLiteral("clear-key"), QStringLiteral("copy-keys"), QStringLiteral("render"),
          QStringLiteral("repair"), QStringLiteral("undo"), QStringLiteral("redo")}) {
        const Entry *entry = find(name);
        text += QStringLiteral("  %1 %2\n").arg(entry->name, -10).arg(entry->arguments);
    }
    text += LayersTextKeys::usage();
    text += LayersExchange::usage();
    // Served beside the layer manager: they need no layer store.
    text += QStringLiteral("  %1 %2\n")
                .arg(QStringLiteral("prefs"), -10)
                .arg(QStringLiteral("[list | get KEY | set KEY VALUE]"));
    text += QStringLiteral("  %1\n").arg(QStringLiteral("plugins"), -10);
    text += QStringLiteral("  %1 %2\n")
                .arg(QStringLiteral("updates"), -10)
                .arg(QStringLiteral("check [--installed VERSION]"));
    text += QStringLiteral("  %1 %2\n")
                .arg(QStringLiteral("firmware"), -10)
                .arg(QStringLiteral("[status | upgrade [FILE]]"));
    return text;
}

QString LayersSubcommands::help(const QString &name)
{
    const Entry *entry = find(name);
    if (!entry)
        return QString();
    QString text =
        QStringLiteral("Usage: brevona-layers %1%2%3\n%4\n")
            .arg(entry->name, entry->arguments.isEmpty() ? QString() : QStringLiteral(" "),
                 entry->arguments + (entry->options.isEmpty() ? QString() : QStringLiteral(" [OPTIONS]")),
                 entry->summary);
    if (!entry->options.isEmpty())
        text += QStringLiteral("\nOptions:\n");
    for (const OptionEntry &option : entry->options) {
        QString names = QStringLiteral("--") + option.names.first();
        if (option.names.size() > 1)
            names = QStringLiteral("-%1, %2").arg(option.names.at(1), names);
        if (!option.valueName.isEmpty())
            names += QLatin1Char(' ') + option.valueName;
        text += QStringLiteral("  %1 %2\n").arg(names, -16).arg(option.description);
    }
    return text;
}

int LayersSubcommands::run(const QStringList &arguments, bool plist, bool inBatch)
{
    const Entry *entry = arguments.isEmpty() ? nullptr : find(arguments.first());
    if (!entry)
        return refuse(
            QStringLiteral("unknown subcommand %1 (see brevona-layers --help)").arg(arguments.value(0)));
    m_plist = plist;
    m_inBatch = inBatch;
    m_arguments = arguments.mid(1);

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionEntry &option : entry->options)
        parser.addOption(QCommandLineOption(option.names, option.description, option.valueName));
    if (!parser.parse(QStringList{entry->name} + arguments.mid(1)))
        return refuse(QStringLiteral("%1: %2").arg(entry->name, parser.errorText()));
    const qsizetype count = parser.positionalArguments().size();
    if (count < entry->minimum || (entry->maximum >= 0 && count > entry->maximum)) {
        return refuse(QStringLiteral("%1 takes %2 (see brevona-layers %1 --help)")
                          .arg(entry->name, entry->arguments.isEmpty() ? QStringLiteral("no arguments")
                                                                       : entry->arguments));
    }
    return (this->*entry->handler)(parser);
}

int LayersSubcommands::refuse(const QString &why)
{
    m_err << "brevona-layers: " << why << '\n';
    return BadInput;
}

int LayersSubcommands::finish(int outcome)
{
    switch (static_cast<KCLayerManager::Outcome>(outcome)) {
    case KCLayerManager::Outcome::Done:
        return Done;
    case KCLayerManager::Outcome::Refused:
        return refuse(m_manager.lastError());
    case KCLayerManager::Outcome::Cancelled:
        return refuse(QStringLiteral("%1 Add --yes to delete.").arg(m_confirmation.question));
    case KCLayerManager::Outcome::Failed:
        break;
    }
    m_err << "brevona-layers: " << m_manager.lastError() << '\n';
    return Failed;
}

std::shared_ptr<KCLayer> LayersSubcommands::resolve(const QString &reference)
{
    if (reference.isEmpty()) {
        refuse(QStringLiteral("an item name is empty"));
        return nullptr;
    }
    if (auto layer = m_manager.findLayerByID(reference))
        return layer;
    const auto root = m_manager.rootGroup();
    if (!root)
        return nullptr;
    // Titles, or "GROUP/ITEM" where each part is an identifier or a title.
    const QStringList parts = reference.split(QLatin1Char('/'));
    if (parts.size() > 2 || parts.contains(QString())) {
        refuse(QStringLiteral("no layer or group is named %1").arg(reference));
        return nullptr;
    }
    std::vector<std::shared_ptr<KCLayer>> candidates;
    for (const auto &child : root->layers()) {
        if (parts.size() == 1)
            candidates.push_back(child);
        if (child->isGroup() &&
            (parts.size() == 1 || child->UUID() == parts.first() || child->title() == parts.first())) {
            for (const auto &inner : static_cast<const KCGroupLayer &>(*child).layers())
                candidates.push_back(inner);
        }
    }
    std::vector<std::shared_ptr<KCLayer>> matches;
    for (const auto &candidate : candidates) {
        if (candidate->UUID() == parts.last() || candidate->title() == parts.last())
            matches.push_back(candidate);
    }
    if (matches.size() == 1)
        return matches.front();
    if (matches.empty())
        refuse(QStringLiteral("no layer or group is named %1").arg(reference));
    else
        refuse(QStringLiteral("%1 items are named %2: name one by its identifier or GROUP/ITEM")
                   .arg(matches.size())
                   .arg(reference));
    return nullptr;
}

int LayersSubcommands::list(const QCommandLineParser &)
{
    const QVariantList tree = LayersReport(m_manager).tree();
    if (m_plist)
        m_out << PropertyList::toData(tree).value_or(QByteArray());
    else
        m_out << LayersReport::treeText(tree);
    return Done;
}

int LayersSubcommands::show(const QCommandLineParser &parser)
{
    const auto layer = resolve(parser.positionalArguments().at(0));
    if (!layer)
        return BadInput;
    const QVariantMap item = LayersReport(m_manager).item(*layer);
    if (m_plist)
        m_out << PropertyList::toData(item).value_or(QByteArray());
    else
        m_out << LayersReport::itemText(item);
    return Done;
}

int LayersSubcommands::created(const QString &identifier)
{
    if (m_plist)
        m_out << PropertyList::toData(QVariantMap{{QStringLiteral("Identifier"), identifier}})
                     .value_or(QByteArray());
    else
        m_out << identifier << '\n';
    return Done;
}

int LayersSubcommands::createTitled(bool group, const QString &title)
{
    const auto outcome = group ? m_manager.createNewGroup(title) : m_manager.createNewLayer(title);
    if (outcome != KCLayerManager::Outcome::Done)
        return finish(static_cast<int>(outcome));
    const auto item = m_manager.currentLayer();
    return created(item ? item->UUID() : QString());
}

int LayersSubcommands::newLayer(const QCommandLineParser &parser)
{
    const bool after = parser.isSet(QStringLiteral("after"));
    const bool in = parser.isSet(QStringLiteral("in"));
    if (after && in)
        return refuse(QStringLiteral("new-layer takes --after or --in, not both"));
    QStringList selection;
    if (after || in) {
        const auto place = resolve(parser.value(after ? QStringLiteral("after") : QStringLiteral("in")));
        if (!place)
            return BadInput;
        if (place->staticLayer() || !m_manager.relativePathForLayer(place.get()))
            return refuse(QStringLiteral("%1 is a background layer: new layers go among the user's")
                              .arg(place->UUID()));
        if (after && place->isGroup())
            return refuse(QStringLiteral("%1 is a group: use --in to add a layer to it").arg(place->UUID()));
        if (in && !place->isGroup())
            return refuse(QStringLiteral("%1 is not a group: use --after to place a layer after it")
                              .arg(place->UUID()));
        selection.append(place->UUID());
    }
    m_manager.setSelection(selection);
    return createTitled(false, parser.value(QStringLiteral("title")));
}

int LayersSubcommands::newGroup(const QCommandLineParser &parser)
{
    QStringList selection;
    if (parser.isSet(QStringLiteral("after"))) {
        const auto place = resolve(parser.value(QStringLiteral("after")));
        if (!place)
            return BadInput;
        if (!m_manager.relativePathForLayer(place.get()))
            return refuse(QStringLiteral("%1 is a background layer: groups go among the user's items")
                              .arg(place->UUID()));
        selection.append(place->UUID());
    }
    m_manager.setSelection(selection);
    return createTitled(true, parser.value(QStringLiteral("title")));
}

int LayersSubcommands::remove(const QCommandLineParser &parser)
{
    QStringList identifiers;
    for (const QString &reference : parser.positionalArguments()) {
        const auto layer = resolve(reference);
        if (!layer)
            return BadInput;
        if (!m_manager.relativePathForLayer(layer.get()))
            return refuse(
                QStringLiteral("%1 is a background layer and cannot be deleted").arg(layer->UUID()));
        identifiers.append(layer->UUID());
    }
    m_confirmation.allowed = parser.isSet(QStringLiteral("yes"));
    m_confirmation.question.clear();
    m_manager.setSelection(identifiers);
    return finish(static_cast<int>(m_manager.deleteSelection()));
}

int LayersSubcommands::rename(const QCommandLineParser &parser)
{
    const auto layer = resolve(parser.positionalArguments().at(0));
    if (!layer)
        return BadInput;
    return finish(static_cast<int>(m_manager.rename(layer->UUID(), parser.positionalArguments().at(1))));
}

int LayersSubcommands::enable(const QCommandLineParser &parser)
{
    const auto layer = resolve(parser.positionalArguments().at(0));
    if (!layer)
        return BadInput;
    return finish(static_cast<int>(m_manager.toggleLayer(layer->UUID(), true)));
}

int LayersSubcommands::disable(const QCommandLineParser &parser)
{
    const auto layer = resolve(parser.positionalArguments().at(0));
    if (!layer)
        return BadInput;
    return finish(static_cast<int>(m_manager.toggleLayer(layer->UUID(), false)));
}

int LayersSubcommands::hybrid(const QCommandLineParser &parser)
{
    const QString state = parser.positionalArguments().at(1);
    if (state != QLatin1String("on") && state != QLatin1String("off"))
        return refuse(QStringLiteral("hybrid takes on or off, not %1").arg(state));
    const auto layer = resolve(parser.positionalArguments().at(0));
    if (!layer)
        return BadInput;
    return finish(static_cast<int>(m_manager.setHybrid(layer->UUID(), state == QLatin1String("on"))));
}

int LayersSubcommands::move(const QCommandLineParser &parser)
{
    if (!parser.isSet(QStringLiteral("to")))
        return refuse(QStringLiteral("move needs --to GROUP or --to root"));
    QStringList dragged;
    bool groupDragged = false;
    for (const QString &reference : parser.positionalArguments()) {
        const auto layer = resolve(reference);
        if (!layer)
            return BadInput;
        dragged.append(layer->UUID());
        groupDragged = groupDragged || layer->isGroup();
    }
    const QString to = parser.value(QStringLiteral("to"));
    std::shared_ptr<KCGroupLayer> target;
    if (to == QLatin1String("root") || to == KCLayerManager::RootIdentifier) {
        target = m_manager.rootGroup();
    } else {
        const auto layer = resolve(to);
        if (!layer)
            return BadInput;
        if (!layer->isGroup() || !m_manager.relativePathForLayer(layer.get()))
            return refuse(QStringLiteral("%1 is not a group").arg(to));
        target = std::static_pointer_cast<KCGroupLayer>(layer);
    }
    const bool topLevel = target == m_manager.rootGroup();
    // The layer list would put a group dropped on a group after it; a script that names a group
    // as the target meant something else.
    if (groupDragged && !topLevel)
        return refuse(QStringLiteral("groups stay at the top level: move them --to root"));
    int index = target->count();
    if (parser.isSet(QStringLiteral("index"))) {
        bool ok = false;
        index = parser.value(QStringLiteral("index")).toInt(&ok);
        if (!ok || index < 0)
            return refuse(QStringLiteral("--index takes a position from 0, not %1")
                              .arg(parser.value(QStringLiteral("index"))));
    }
    // At the top level the layer list counts its "LAYERS" header as row 0.
    const auto drop =
        m_manager.validateDrop(dragged, topLevel ? QString() : target->UUID(), topLevel ? index + 1 : index);
    if (!drop)
        return refuse(QStringLiteral("%1 cannot be moved there")
                          .arg(parser.positionalArguments().join(QLatin1Char(' '))));
    return finish(static_cast<int>(m_manager.acceptDrop(dragged, *drop)));
}

int LayersSubcommands::conditions(const QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    const auto layer = resolve(arguments.at(0));
    if (!layer)
        return BadInput;
    ApplicationsHelper &applications = ApplicationsHelper::shared();
    // Rows name their applications: the list of them is read before it is shown.
    if (arguments.value(1, QStringLiteral("list")) == QLatin1String("list"))
        applications.waitForScan();
    KCConditionsManager manager(m_manager, applications, LanguagesHelper::shared());
    return LayersConditions(manager, m_out, m_err).run(layer->UUID(), arguments.mid(1), m_plist);
}

int LayersSubcommands::setKey(const QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    const auto layer = resolve(arguments.at(0));
    if (!layer)
        return BadInput;
    const Result<LayersKeyPlugins> plugins = LayersKeyPlugins::parse(m_arguments);
    if (!plugins)
        return refuse(plugins.error());
    if (arguments.size() < 3 && plugins->empty())
        return refuse(QStringLiteral("set-key needs a PICTURE, --display or --action"));
    QImage picture;
    if (arguments.size() == 3) {
        const Result<QImage> read = KCDisplayActionManager::readPictureFile(arguments.at(2));
        if (!read)
            return refuse(read.error());
        picture = *read;
    }
    if (plugins->empty())
        return finish(static_cast<int>(m_manager.setKeyPicture(layer->UUID(), arguments.at(1), picture)));
    const KCPluginManager catalogue;
    if (const QString problem = plugins->problem(catalogue); !problem.isEmpty())
        return refuse(problem);
    auto state = m_manager.keyState(layer->UUID(), arguments.at(1));
    if (!state) {
        QImage black(LayerPicture::KeySize, LayerPicture::KeySize, QImage::Format_RGB32);
        black.fill(Qt::black);
        state = KCLayerManager::KeyState{black, {}};
    }
    if (!picture.isNull()) {
        state->picture = picture;
        state->info.remove(KCLayerManager::DisplayPluginKey);
    }
    state->info = plugins->applied(state->info);
    return finish(static_cast<int>(
        m_manager.setKeys(layer->UUID(), {{arguments.at(1), *state}}, QStringLiteral("Set Key"))));
}

int LayersSubcommands::clearKey(const QCommandLineParser &parser)
{
    const auto layer = resolve(parser.positionalArguments().at(0));
    if (!layer)
        return BadInput;
    return finish(static_cast<int>(m_manager.clearKey(layer->UUID(), parser.positionalArguments().at(1))));
}

int LayersSubcommands::copyKeys(const QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    const auto source = resolve(arguments.at(0));
    const auto target = source ? resolve(arguments.at(1)) : nullptr;
    if (!target)
        return BadInput;
    const QStringList keys = arguments.size() > 2 ? arguments.mid(2) : source->buttonNames();
    KCLayerManager::KeyStates states;
    for (const QString &key : keys) {
        auto state = m_manager.keyState(source->UUID(), key);
        if (!state)
            return refuse(QStringLiteral("%1 has no key %2").arg(arguments.at(0), key));
        states.emplace(key, std::move(state));
    }
    if (states.empty())
        return refuse(QStringLiteral("%1 has no keys to copy").arg(arguments.at(0)));
    return finish(static_cast<int>(m_manager.setKeys(target->UUID(), states, QStringLiteral("Copy Keys"))));
}

int LayersSubcommands::render(const QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("keyboard"))) {
        if (arguments.size() != 1)
            return refuse(QStringLiteral("render --keyboard takes one FILE"));
        const Result<QImage> picture = LayersComposition::render(m_manager.root());
        if (!picture)
            return refuse(picture.error());
        return save(*picture, arguments.at(0));
    }
    if (arguments.size() != 2)
        return refuse(QStringLiteral("render takes ITEM FILE (see brevona-layers render --help)"));
    const auto layer = resolve(arguments.at(0));
    if (!layer)
        return BadInput;
    const auto picture = m_manager.pictureOfLayer(layer->UUID());
    if (!picture)
        return refuse(QStringLiteral("%1 is a group: only layers have a picture").arg(layer->UUID()));
    return save(*picture, arguments.at(1));
}

int LayersSubcommands::save(const QImage &picture, const QString &path)
{
    // Written whole or not at all: a script never finds half a picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_err << "brevona-layers: cannot write " << path << ": " << file.errorString() << '\n';
        return Failed;
    }
    if (!picture.save(&file, nullptr) || !file.commit()) {
        file.cancelWriting();
        m_err << "brevona-layers: cannot write " << path << " (is its extension a picture format?)\n";
        return Failed;
    }
    return Done;
}

int LayersSubcommands::repair(const QCommandLineParser &)
{
    if (!m_manager.repairDefaultLayersFolder()) {
        m_err << "brevona-layers: the background layers in " << m_manager.root()
              << " cannot all be written\n";
        return Failed;
    }
    return Done;
}

int LayersSubcommands::undo(const QCommandLineParser &)
{
    if (!m_inBatch)
        return refuse(UndoOutsideBatch);
    return finish(static_cast<int>(m_manager.undo()));
}

int LayersSubcommands::redo(const QCommandLineParser &)
{
    if (!m_inBatch)
        return refuse(UndoOutsideBatch);
    return finish(static_cast<int>(m_manager.redo()));
}

} // namespace brevona
