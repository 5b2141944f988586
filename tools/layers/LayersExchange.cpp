#include "LayersExchange.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include "KCImportExportManager.h"
#include "KCLayer.h"
#include "KCLayerManager.h"
#include "KCSingleLayer.h"
#include "LayerPicture.h"
#include "LayersSubcommands.h"
#include "PropertyList.h"

namespace brevona {

namespace {

const QString Export = QStringLiteral("export");
const QString Import = QStringLiteral("import");
const QString KindOption = QStringLiteral("kind");
const QString IntoOption = QStringLiteral("into");
const QString Layers = QStringLiteral("layers");
const QString Template = QStringLiteral("template");
const QString Buttons = QStringLiteral("buttons");
const QString Picture = QStringLiteral("picture");

} // namespace

LayersExchange::LayersExchange(KCLayerManager &manager, Resolver resolve, QTextStream &out, QTextStream &err)
    : m_manager(manager)
    , m_resolve(std::move(resolve))
    , m_out(out)
    , m_err(err)
{}

bool LayersExchange::serves(const QString &name)
{
    return name == Export || name == Import;
}

QString LayersExchange::usage()
{
    return QStringLiteral("  %1 [--kind layers|template|buttons|picture] PATH ITEM...\n"
                          "  %2 [--kind layers|picture] FILE [--into LAYER]\n")
        .arg(Export, -10)
        .arg(Import, -10);
}

QString LayersExchange::help(const QString &name)
{
    if (name == Export)
        return QStringLiteral(
            "Usage: brevona-layers export [--kind layers|template|buttons|picture] PATH ITEM...\n"
            "Writes the items (layers; a group stands for its layers) to PATH:\n"
            "  layers    a layer archive, PATH with the extension .layers (the default kind)\n"
            "  template  the keyboard drawing with the items' keys on it, PATH with .tiff\n"
            "  buttons   the folder PATH with one display file per key, NNN.sys by display number\n"
            "  picture   the items' keys as one 1312 x 376 picture; the format follows PATH's name\n"
            "Several items are merged into one layer for template, buttons and picture (the lowest\n"
            "item wins a key). Files are written whole or not at all.\n");
    return QStringLiteral(
        "Usage: brevona-layers import [--kind layers|picture] FILE [--into LAYER]\n"
        "Imports FILE into the layer store (one step, which undo takes back in a --batch):\n"
        "  layers    a layer archive: one group per application its layers ask for, one \"New Group\"\n"
        "            for the rest; prints the new groups' identifiers (the default for .layers)\n"
        "  picture   a 1312 x 376 picture (a template painted elsewhere): a new layer named after\n"
        "            the file, or the keys it shows in LAYER with --into; prints the layer's\n"
        "            identifier (the default for other files)\n"
        "What is skipped (a layer, a condition, unknown key names) is said on standard error, one\n"
        "line each. A file that cannot be imported changes nothing (exit status 1).\n");
}

int LayersExchange::refuse(const QString &why)
{
    m_err << "brevona-layers: " << why << '\n';
    return LayersSubcommands::BadInput;
}

int LayersExchange::fail(const QString &why)
{
    m_err << "brevona-layers: " << why << '\n';
    return LayersSubcommands::Failed;
}

int LayersExchange::run(const QStringList &arguments, bool plist)
{
    m_plist = plist;
    return arguments.value(0) == Export ? exportItems(arguments) : importFile(arguments);
}

int LayersExchange::exportItems(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(KindOption, QString(), QStringLiteral("KIND"), Layers));
    if (!parser.parse(arguments))
        return refuse(QStringLiteral("export: %1").arg(parser.errorText()));
    const QString kind = parser.value(KindOption);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 2)
        return refuse(QStringLiteral("export takes PATH ITEM... (see brevona-layers export --help)"));
    QStringList rows;
    for (const QString &reference : positional.mid(1)) {
        const auto item = m_resolve(reference);
        if (!item)
            return LayersSubcommands::BadInput;
        rows.append(item->UUID());
    }
    KCImportExportManager exchange(m_manager);
    const QString path = positional.at(0);
    QString written;
    if (kind == Layers) {
        const auto file = exchange.exportLayers(rows, path);
        if (!file)
            return fail(file.error());
        written = *file;
    } else if (kind == Template) {
        const auto file = exchange.exportTemplate(rows, path);
        if (!file)
            return fail(file.error());
        written = *file;
    } else if (kind == Buttons) {
        const auto count = exchange.exportButtons(rows, path);
        if (!count)
            return fail(count.error());
        written = path;
    } else if (kind == Picture) {
        const auto layer = exchange.currentCompoundLayer(rows);
        std::optional<QImage> image = layer ? m_manager.pictureOfLayer(layer->UUID()) : std::nullopt;
        if (const auto merged = std::dynamic_pointer_cast<KCSingleLayer>(layer); merged && !image)
            image = merged->layerImage().value_or(LayerPicture::blackLayer()); // outside the tree
        if (!image)
            return refuse(QStringLiteral("export --kind picture needs a layer"));
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !image->save(&file, nullptr) || !file.commit())
            return fail(QStringLiteral("cannot write %1 (is its extension a picture format?)").arg(path));
        written = path;
    } else {
        return refuse(
            QStringLiteral("export --kind is layers, template, buttons or picture, not %1").arg(kind));
    }
    if (m_plist)
        m_out << PropertyList::toData(QVariantMap{{QStringLiteral("Path"), written}}).value_or(QByteArray());
    else
        m_out << written << '\n';
    return LayersSubcommands::Done;
}

int LayersExchange::importFile(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(KindOption, QString(), QStringLiteral("KIND")));
    parser.addOption(QCommandLineOption(IntoOption, QString(), QStringLiteral("LAYER")));
    if (!parser.parse(arguments))
        return refuse(QStringLiteral("import: %1").arg(parser.errorText()));
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return refuse(QStringLiteral("import takes one FILE (see brevona-layers import --help)"));
    const QString path = positional.at(0);
    const bool archive =
        QFileInfo(path).suffix().compare(KCImportExportManager::ArchiveExtension, Qt::CaseInsensitive) == 0;
    QString kind = parser.value(KindOption);
    if (kind.isEmpty())
        kind = archive ? Layers : Picture;
    if (kind == Template)
        kind = Picture; // a template painted elsewhere is a picture of the keyboard
    if (kind != Layers && kind != Picture)
        return refuse(
            QStringLiteral("import --kind is layers or picture (a template is a picture), not %1").arg(kind));
    KCImportExportManager exchange(m_manager);
    if (kind == Layers) {
        if (parser.isSet(IntoOption))
            return refuse(
                QStringLiteral("import --into is for pictures: an archive makes groups of its own"));
        const auto report = exchange.importLayersFile(path);
        if (!report)
            return fail(report.error());
        for (const QString &note : report->notes)
            m_err << "brevona-layers: " << note << '\n';
        if (m_plist)
            m_out << PropertyList::toData(QVariantMap{{QStringLiteral("Groups"), report->groups},
                                                      {QStringLiteral("Layers"), report->layers},
                                                      {QStringLiteral("Notes"), report->notes}})
                         .value_or(QByteArray());
        else
            for (const QString &group : report->groups)
                m_out << group << '\n';
        return LayersSubcommands::Done;
    }
    QString into;
    if (parser.isSet(IntoOption)) {
        const auto layer = m_resolve(parser.value(IntoOption));
        if (!layer)
            return LayersSubcommands::BadInput;
        into = layer->UUID();
    }
    const auto layer = exchange.importPictureFile(path, into);
    if (!layer)
        return fail(layer.error());
    if (m_plist)
        m_out << PropertyList::toData(QVariantMap{{QStringLiteral("Identifier"), *layer}})
                     .value_or(QByteArray());
    else
        m_out << *layer << '\n';
    return LayersSubcommands::Done;
}

} // namespace brevona
