#pragma once

#include <QStringList>

class QTextStream;

namespace brevona {

class KCPluginManager;

// brevona-layers' "plugins": the catalogue the configurator offers, display plugins then action
// plugins, by category in the editor's order, as text or as a property list. It does not need
// the layer store.
class LayersPlugins
{
public:
    LayersPlugins(const KCPluginManager &catalogue, QTextStream &out, QTextStream &err);

    static QString help();
    // `arguments` starts with "plugins". An exit status of LayersSubcommands.
    int run(const QStringList &arguments, bool plist);

private:
    const KCPluginManager &m_catalogue;
    QTextStream &m_out;
    QTextStream &m_err;
};

} // namespace brevona
