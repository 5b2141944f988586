#include "LayersPlugins.h"

#include <QTextStream>
#include <QVariantList>

#include "KCPlugin.h"
#include "KCPluginManager.h"
#include "LayersSubcommands.h"
#include "PropertyList.h"

namespace brevona {

namespace {

struct Listed
{
    QString kind; // "DisplayPlugin" or "ActionPlugin"
    QString category;
    QString signature;
};

// The editor's order: the kinds, the categories in their order, "Picture" first among the
// general display plugins, then the signatures in order.
QList<Listed> listed(const KCPluginManager &catalogue)
{
    QList<Listed> all;
    const QList<QPair<QString, QMap<QString, QStringList>>> kinds{
        {KCPluginManager::DisplayPluginType, catalogue.displayPluginsByCategories()},
        {KCPluginManager::ActionPluginType, catalogue.actionPluginsByCategories()}};
    for (const auto &[kind, byCategory] : kinds) {
        for (const QString &category : KCPlugin::sortedCategories()) {
            QStringList signatures = byCategory.value(category);
            if (kind == KCPluginManager::DisplayPluginType &&
                category == KCPlugin::sortedCategories().first())
                signatures.prepend(KCPluginManager::PictureSignature);
            for (const QString &signature : std::as_const(signatures))
                all.append({kind, category, signature});
        }
    }
    return all;
}

} // namespace

LayersPlugins::LayersPlugins(const KCPluginManager &catalogue, QTextStream &out, QTextStream &err)
    : m_catalogue(catalogue)
    , m_out(out)
    , m_err(err)
{}

QString LayersPlugins::help()
{
    return QStringLiteral("Usage: brevona-layers [--plist] plugins\n"
                          "Lists the display and action plugins the configurator offers, by category: "
                          "signature, name, description, and whether the plugin has a settings view.\n");
}

int LayersPlugins::run(const QStringList &arguments, bool plist)
{
    if (arguments.size() > 1) {
        m_err << "brevona-layers: plugins takes no arguments (see brevona-layers plugins --help)\n";
        return LayersSubcommands::BadInput;
    }
    const QList<Listed> entries = listed(m_catalogue);
    if (plist) {
        QVariantList list;
        for (const Listed &entry : entries) {
            const auto bundle = m_catalogue.pluginForSignature(entry.signature);
            list.append(QVariantMap{
                {QStringLiteral("Signature"), entry.signature},
                {QStringLiteral("Kind"), entry.kind},
                {QStringLiteral("Category"), entry.category},
                {QStringLiteral("Name"), m_catalogue.displayNameForPlugin(entry.signature)},
                {QStringLiteral("Description"), m_catalogue.descriptionForPlugin(entry.signature)},
                {QStringLiteral("Bundle"), bundle ? bundle->identifier() : QString()},
                {QStringLiteral("SettingsView"),
                 !m_catalogue.preferencesViewForSignature(entry.signature).isEmpty()},
            });
        }
        m_out << PropertyList::toData(list).value_or(QByteArray());
        return LayersSubcommands::Done;
    }
    QString kind;
    QString category;
    for (const Listed &entry : entries) {
        if (entry.kind != kind) {
            kind = entry.kind;
            category.clear();
            m_out << (kind == KCPluginManager::DisplayPluginType ? "Display plugins:\n"
                                                                 : "Action plugins:\n");
        }
        if (entry.category != category) {
            category = entry.category;
            m_out << "  " << KCPlugin::categoryNameForId(category) << '\n';
        }
        const QString description = m_catalogue.descriptionForPlugin(entry.signature);
        m_out << "    " << entry.signature << "  " << m_catalogue.displayNameForPlugin(entry.signature);
        if (!description.isEmpty())
            m_out << " - " << description;
        if (!m_catalogue.preferencesViewForSignature(entry.signature).isEmpty())
            m_out << " [settings view]";
        m_out << '\n';
    }
    return LayersSubcommands::Done;
}

} // namespace brevona
