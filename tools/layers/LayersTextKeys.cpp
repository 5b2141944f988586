#include "LayersTextKeys.h"

#include <QColor>
#include <QTextStream>

#include "DrawingAttributes.h"
#include "FontCatalogue.h"
#include "KCFontColorManager.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "KCLayerManager.h"
#include "LayersSubcommands.h"

namespace brevona {

namespace {

const QString kLabels = QStringLiteral("labels");
const QString kFont = QStringLiteral("font");

QString colourText(const QVariant &value)
{
    return DrawingAttributes::color(value).name(QColor::HexArgb);
}

} // namespace

LayersTextKeys::LayersTextKeys(KCLayerManager &manager, QTextStream &out, QTextStream &err)
    : m_manager(manager)
    , m_out(out)
    , m_err(err)
{}

bool LayersTextKeys::serves(const QString &name)
{
    return name == kLabels || name == kFont;
}

QString LayersTextKeys::usage()
{
    return QStringLiteral(
               "  %1 KEY [TEXT...] [--reset]\n"
               "  %2 LANGUAGE [--modifiers M] [--keys K,...] [--family F] [--size N]\n"
               "             [--bold on|off] [--italic on|off] [--colour C] [--background C] [--reset]\n")
        .arg(kLabels, -10)
        .arg(kFont, -10);
}

QString LayersTextKeys::help(const QString &name)
{
    if (name == kLabels)
        return QStringLiteral(
            "Usage: brevona-layers labels KEY [TEXT...] [--reset]\n"
            "Without TEXT shows the label of the control key KEY and the labels it offers (* marks the\n"
            "current one); with TEXT (one of those) the key shows it. --reset gives the key its default\n"
            "label back. The control-buttons picture is redrawn and the driver told.\n");
    return QStringLiteral(
        "Usage: brevona-layers font LANGUAGE [--modifiers M] [--keys K,...] [--family F] [--size N]\n"
        "                         [--bold on|off] [--italic on|off] [--colour C] [--background C] [--reset]\n"
        "Changes how the language layer LANGUAGE (Language3, 3 or its layout, e.g. us) draws its keys\n"
        "under the modifier keys M (None, Shift, Opt, ShiftOpt, Caps, ShiftCaps, OptCaps, ShiftOptCaps;\n"
        "None by default): all its keys, or those of --keys. F is an installed family with a regular\n"
        "member; bold and italic need such members of F; N is held within 8-48; C is #rrggbb or a colour\n"
        "name. --reset removes the keys' changes. Without changes shows the first key's attributes.\n");
}

int LayersTextKeys::run(const QStringList &arguments)
{
    return arguments.value(0) == kLabels ? labels(arguments.mid(1)) : font(arguments.mid(1));
}

int LayersTextKeys::refuse(const QString &why)
{
    m_err << "brevona-layers: " << why << '\n';
    return LayersSubcommands::BadInput;
}

int LayersTextKeys::finish(int outcome)
{
    switch (static_cast<KCLayerManager::Outcome>(outcome)) {
    case KCLayerManager::Outcome::Done:
        return LayersSubcommands::Done;
    case KCLayerManager::Outcome::Refused:
    case KCLayerManager::Outcome::Cancelled:
        return refuse(m_manager.lastError());
    case KCLayerManager::Outcome::Failed:
        break;
    }
    m_err << "brevona-layers: " << m_manager.lastError() << '\n';
    return LayersSubcommands::Failed;
}

int LayersTextKeys::labels(const QStringList &arguments)
{
    QStringList words = arguments;
    const bool reset = words.removeAll(QStringLiteral("--reset")) > 0;
    const auto controls = m_manager.keyboardDefaultLayer();
    const QString key = words.value(0);
    if (words.isEmpty() || !controls || !controls->buttonNames().contains(key))
        return refuse(QStringLiteral("labels needs a control key (see brevona-layers labels --help)"));
    const QString text = words.mid(1).join(QLatin1Char(' '));
    if (reset && !text.isEmpty())
        return refuse(QStringLiteral("labels takes TEXT or --reset, not both"));
    if (reset || !text.isEmpty())
        return finish(static_cast<int>(m_manager.setControlLabel({key}, text)));
    const QString current = controls->labelForButton(key);
    m_out << key << ": " << current << '\n';
    for (const QString &label : controls->labelsForButton(key))
        m_out << (label == current ? "* " : "  ") << label << '\n';
    return LayersSubcommands::Done;
}

std::shared_ptr<KCLanguageLayer> LayersTextKeys::language(const QString &reference) const
{
    QString number = reference;
    if (number.startsWith(QLatin1String("Language")))
        number = number.mid(8);
    bool isNumber = false;
    const int identifier = number.toInt(&isNumber);
    for (const auto &layer : m_manager.languageLayers()) {
        if ((isNumber && layer->languageID() == identifier) || layer->layoutName() == reference)
            return layer;
    }
    return nullptr;
}

int LayersTextKeys::font(const QStringList &arguments)
{
    const auto layer = language(arguments.value(0));
    if (!layer)
        return refuse(QStringLiteral("font needs a language layer: Language3, 3 or a layout such as us"));
    QString modifierKey;
    QStringList keys = layer->buttonNames();
    QVariantMap changes;
    bool reset = false;
    std::optional<bool> bold;
    std::optional<bool> italic;
    QString family;
    const FontCatalogue catalogue = FontCatalogue::installed();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString option = arguments.at(i);
        if (option == QLatin1String("--reset")) {
            reset = true;
            continue;
        }
        if (i + 1 >= arguments.size())
            return refuse(QStringLiteral("%1 needs a value (see brevona-layers font --help)").arg(option));
        const QString value = arguments.at(++i);
        if (option == QLatin1String("--modifiers")) {
            modifierKey = value == QLatin1String("None") ? QString() : value;
            if (!KCLanguageLayer::ModifierKeys.contains(modifierKey))
                return refuse(QStringLiteral("\"%1\" is no modifier combination").arg(value));
        } else if (option == QLatin1String("--keys")) {
            keys = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &key : std::as_const(keys)) {
                if (!layer->buttonNames().contains(key))
                    return refuse(QStringLiteral("%1 is not a key of %2").arg(key, layer->UUID()));
            }
        } else if (option == QLatin1String("--family")) {
            if (!catalogue.plainFamilies().contains(value))
                return refuse(
                    QStringLiteral("\"%1\" is not an installed family with a regular member").arg(value));
            family = value;
            changes.insert(DrawingAttributes::Font, value);
        } else if (option == QLatin1String("--size")) {
            bool ok = false;
            const double size = value.toDouble(&ok);
            if (!ok)
                return refuse(QStringLiteral("\"%1\" is not a size").arg(value));
            changes.insert(DrawingAttributes::Size, KCFontColorManager::fittedSize(size));
        } else if (option == QLatin1String("--bold") || option == QLatin1String("--italic")) {
            if (value != QLatin1String("on") && value != QLatin1String("off"))
                return refuse(QStringLiteral("%1 takes on or off").arg(option));
            (option == QLatin1String("--bold") ? bold : italic) = value == QLatin1String("on");
        } else if (option == QLatin1String("--colour") || option == QLatin1String("--background")) {
            const QColor colour = QColor::fromString(value);
            if (!colour.isValid())
                return refuse(QStringLiteral("\"%1\" is not a colour").arg(value));
            changes.insert(option == QLatin1String("--colour") ? DrawingAttributes::Color
                                                               : DrawingAttributes::Background,
                           colour);
        } else {
            return refuse(
                QStringLiteral("font has no option %1 (see brevona-layers font --help)").arg(option));
        }
    }
    if (keys.isEmpty())
        return refuse(QStringLiteral("--keys names no key"));
    const QVariantMap current = layer->overridesForButton(keys.first(), modifierKey);
    if (bold || italic) {
        if (family.isEmpty())
            family = DrawingAttributes::overlaid(DrawingAttributes::languageDefaults(), current)
                         .value(DrawingAttributes::Font)
                         .toString();
        const auto boxes = KCFontColorManager::validateBoxes(catalogue, family, bold.value_or(false),
                                                             italic.value_or(false));
        if (bold.value_or(false) && !boxes.boldEnabled)
            return refuse(QStringLiteral("\"%1\" has no bold member").arg(family));
        if (italic.value_or(false) && !boxes.italicEnabled)
            return refuse(QStringLiteral("\"%1\" has no italic member").arg(family));
        if (bold)
            changes.insert(DrawingAttributes::Bold, boxes.bold);
        if (italic)
            changes.insert(DrawingAttributes::Italic, boxes.italic);
    }
    if (reset && !changes.isEmpty())
        return refuse(QStringLiteral("font takes changes or --reset, not both"));
    if (reset || !changes.isEmpty())
        return finish(static_cast<int>(
            m_manager.setLanguageAttributes(layer->languageID(), modifierKey, keys,
                                            reset ? std::nullopt : std::optional<QVariantMap>(changes),
                                            QStringLiteral("Change Fonts and Colors"))));
    const QVariantMap shown = DrawingAttributes::overlaid(DrawingAttributes::languageDefaults(), current);
    m_out << KCLayerManager::languageLayerIdentifier(layer->languageID(), modifierKey) << ' ' << keys.first()
          << ": family " << shown.value(DrawingAttributes::Font).toString() << ", size "
          << shown.value(DrawingAttributes::Size).toDouble() << ", bold "
          << (shown.value(DrawingAttributes::Bold).toBool() ? "on" : "off") << ", italic "
          << (shown.value(DrawingAttributes::Italic).toBool() ? "on" : "off") << ", colour "
          << colourText(shown.value(DrawingAttributes::Color)) << ", background "
          << colourText(shown.value(DrawingAttributes::Background)) << '\n';
    return LayersSubcommands::Done;
}

} // namespace brevona
