#include "LayersReport.h"

#include <QStringList>

#include "KCGroupLayer.h"
#include "KCLayerManager.h"
#include "KCSingleLayer.h"

namespace brevona {

namespace {

const QString Identifier = QStringLiteral("Identifier");
const QString Title = QStringLiteral("Title");
const QString Kind = QStringLiteral("Kind");
const QString Path = QStringLiteral("Path");
const QString Enabled = QStringLiteral("Enabled");
const QString Hybrid = QStringLiteral("Hybrid");
const QString Keys = QStringLiteral("Keys");
const QString Conditions = QStringLiteral("Conditions");
const QString Items = QStringLiteral("Items");
const QString Display = QStringLiteral("Display");
const QString Action = QStringLiteral("Action");

QString kindOf(const KCLayer &layer)
{
    if (layer.isGroup())
        return QStringLiteral("group");
    return layer.staticLayer() ? QStringLiteral("background") : QStringLiteral("layer");
}

QString titleText(const QVariantMap &item)
{
    const QString title = item.value(Title).toString();
    return title.isEmpty() ? QStringLiteral("(untitled)") : title;
}

QString attributesText(const QVariantMap &item)
{
    QStringList parts{item.value(Kind).toString()};
    if (item.contains(Keys)) {
        const qsizetype keys = item.value(Keys).typeId() == QMetaType::QVariantMap
                                   ? item.value(Keys).toMap().size()
                                   : item.value(Keys).toList().size();
        parts.append(keys == 1 ? QStringLiteral("1 key") : QStringLiteral("%1 keys").arg(keys));
    }
    if (item.value(Hybrid).toBool())
        parts.append(QStringLiteral("hybrid"));
    const qsizetype conditions = item.value(Conditions).toList().size();
    if (conditions > 0)
        parts.append(conditions == 1 ? QStringLiteral("1 condition")
                                     : QStringLiteral("%1 conditions").arg(conditions));
    return parts.join(QStringLiteral(", "));
}

void appendTreeText(const QVariantList &items, int depth, QString &text)
{
    for (const QVariant &entry : items) {
        const QVariantMap item = entry.toMap();
        text += QString(depth * 4, QLatin1Char(' '));
        text += item.value(Enabled).toBool() ? QStringLiteral("[x] ") : QStringLiteral("[ ] ");
        text += QStringLiteral("%1  %2  (%3)\n")
                    .arg(titleText(item), item.value(Identifier).toString(), attributesText(item));
        appendTreeText(item.value(Items).toList(), depth + 1, text);
    }
}

} // namespace

LayersReport::LayersReport(KCLayerManager &manager)
    : m_manager(manager)
{}

QVariantMap LayersReport::summary(KCLayer &layer) const
{
    QVariantMap item{
        {Identifier, layer.UUID()}, {Title, layer.title()},           {Kind, kindOf(layer)},
        {Enabled, layer.enabled()}, {Conditions, layer.conditions()},
    };
    if (auto single = dynamic_cast<KCSingleLayer *>(&layer)) {
        item.insert(Hybrid, single->hybrid());
        item.insert(Keys, single->buttonNames());
    }
    if (auto group = dynamic_cast<KCGroupLayer *>(&layer)) {
        QVariantList children;
        for (const auto &child : group->layers())
            children.append(summary(*child));
        item.insert(Items, children);
    }
    return item;
}

QVariantList LayersReport::tree() const
{
    QVariantList items;
    if (const auto root = m_manager.rootGroup()) {
        for (const auto &child : root->layers())
            items.append(summary(*child));
    }
    return items;
}

QVariantMap LayersReport::item(KCLayer &layer) const
{
    QVariantMap item = summary(layer);
    item.remove(Items);
    if (const auto path = m_manager.relativePathForLayer(&layer))
        item.insert(Path, *path);
    if (auto group = dynamic_cast<KCGroupLayer *>(&layer)) {
        QStringList children;
        for (const auto &child : group->layers())
            children.append(child->UUID());
        item.insert(Items, children);
    }
    if (auto single = dynamic_cast<KCSingleLayer *>(&layer)) {
        QVariantMap keys;
        for (const QString &name : single->buttonNames()) {
            QVariantMap key;
            const QVariantMap display = single->displayPluginForButton(name);
            const QVariantMap action = single->actionPluginForButton(name);
            if (!display.isEmpty())
                key.insert(Display, display.value(QStringLiteral("Signature")).toString());
            if (!action.isEmpty())
                key.insert(Action, action.value(QStringLiteral("Signature")).toString());
            // Scripts that set a plugin's settings read them back here.
            if (!display.value(QStringLiteral("Settings")).toMap().isEmpty())
                key.insert(Display + QStringLiteral("Settings"), display.value(QStringLiteral("Settings")));
            if (!action.value(QStringLiteral("Settings")).toMap().isEmpty())
                key.insert(Action + QStringLiteral("Settings"), action.value(QStringLiteral("Settings")));
            keys.insert(name, key);
        }
        item.insert(Keys, keys);
    }
    return item;
}

QString LayersReport::treeText(const QVariantList &tree)
{
    if (tree.isEmpty())
        return QStringLiteral("(no layers)\n");
    QString text;
    appendTreeText(tree, 0, text);
    return text;
}

QString LayersReport::itemText(const QVariantMap &item)
{
    QString text;
    const auto line = [&text](const QString &label, const QString &value) {
        text += QStringLiteral("%1 %2\n").arg(label + QLatin1Char(':'), -12).arg(value);
    };
    line(Identifier, item.value(Identifier).toString());
    line(Title, titleText(item));
    line(Kind, attributesText(item));
    if (item.contains(Path))
        line(Path, item.value(Path).toString());
    line(Enabled, item.value(Enabled).toBool() ? QStringLiteral("yes") : QStringLiteral("no"));
    if (item.contains(Items))
        line(Items, item.value(Items).toStringList().join(QLatin1Char(' ')));
    const QVariantMap keys = item.value(Keys).toMap();
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        const QVariantMap key = it.value().toMap();
        QStringList plugins;
        if (key.contains(Display))
            plugins.append(QStringLiteral("display %1").arg(key.value(Display).toString()));
        if (key.contains(Action))
            plugins.append(QStringLiteral("action %1").arg(key.value(Action).toString()));
        line(QStringLiteral("Key %1").arg(it.key()),
             plugins.isEmpty() ? QStringLiteral("picture") : plugins.join(QStringLiteral(", ")));
    }
    return text;
}

} // namespace brevona
