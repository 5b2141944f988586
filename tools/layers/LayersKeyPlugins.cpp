#include "LayersKeyPlugins.h"

#include "KCPluginManager.h"

namespace brevona {

namespace {

const QString kDisplay = QStringLiteral("--display");
const QString kAction = QStringLiteral("--action");
const QString kSetting = QStringLiteral("--setting");

} // namespace

QVariant LayersKeyPlugins::value(const QString &text)
{
    if (text == QLatin1String("true") || text == QLatin1String("false"))
        return text == QLatin1String("true");
    bool whole = false;
    const qlonglong number = text.toLongLong(&whole);
    if (whole)
        return number;
    bool real = false;
    const double fraction = text.toDouble(&real);
    return real ? QVariant(fraction) : QVariant(text);
}

Result<LayersKeyPlugins> LayersKeyPlugins::parse(const QStringList &arguments)
{
    LayersKeyPlugins plugins;
    std::optional<Choice> *current = nullptr;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        // "--name=value" as well as "--name value".
        QString word = arguments.at(i);
        QString argument;
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        if (word.startsWith(QLatin1String("--")) && equals > 0) {
            argument = word.mid(equals + 1);
            word = word.left(equals);
        } else if (word == kDisplay || word == kAction || word == kSetting) {
            if (i + 1 >= arguments.size())
                return Result<LayersKeyPlugins>::failure(QStringLiteral("%1 needs a value").arg(word));
            argument = arguments.at(++i);
        }
        if (word == kDisplay || word == kAction) {
            current = word == kDisplay ? &plugins.display : &plugins.action;
            if (current->has_value())
                return Result<LayersKeyPlugins>::failure(QStringLiteral("%1 is given twice").arg(word));
            *current = Choice{argument, {}};
        } else if (word == kSetting) {
            const qsizetype split = argument.indexOf(QLatin1Char('='));
            if (!current)
                return Result<LayersKeyPlugins>::failure(
                    QStringLiteral("--setting %1 comes before --display or --action").arg(argument));
            if (split <= 0)
                return Result<LayersKeyPlugins>::failure(
                    QStringLiteral("--setting %1 is not KEY=VALUE").arg(argument));
            (*current)->settings.insert(argument.left(split), value(argument.mid(split + 1)));
        }
    }
    return plugins;
}

QString LayersKeyPlugins::problem(const KCPluginManager &catalogue) const
{
    if (display && catalogue.pluginTypeForId(display->signature) != KCPluginManager::DisplayPluginType)
        return QStringLiteral("%1 is not an installed display plugin (see brevona-layers plugins)")
            .arg(display->signature);
    if (action && action->signature == KCPluginManager::DefaultKeystrokeSignature &&
        !action->settings.isEmpty())
        return QStringLiteral("%1 takes no settings").arg(action->signature);
    if (action && action->signature != KCPluginManager::DefaultKeystrokeSignature &&
        catalogue.pluginTypeForId(action->signature) != KCPluginManager::ActionPluginType)
        return QStringLiteral("%1 is not an installed action plugin (see brevona-layers plugins)")
            .arg(action->signature);
    return {};
}

QVariantMap LayersKeyPlugins::applied(QVariantMap info) const
{
    const auto entry = [](const Choice &choice) {
        QVariantMap map{{QStringLiteral("Signature"), choice.signature}};
        if (!choice.settings.isEmpty())
            map.insert(QStringLiteral("Settings"), choice.settings);
        return map;
    };
    if (display)
        info.insert(KCPluginManager::DisplayPluginType, entry(*display));
    if (action && action->signature == KCPluginManager::DefaultKeystrokeSignature)
        info.remove(KCPluginManager::ActionPluginType);
    else if (action)
        info.insert(KCPluginManager::ActionPluginType, entry(*action));
    return info;
}

} // namespace brevona
