#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QStringList>

class QTextStream;

namespace brevona {

class KCLayer;
class KCLayerManager;

// brevona-layers' "export" and "import": layer archives, the keyboard template, the button set
// and whole-keyboard pictures, through the same import and export code as the window, so a script
// gets the same checks and the same store.
class LayersExchange
{
public:
    // Finds an item as the other subcommands do (printing why not).
    using Resolver = std::function<std::shared_ptr<KCLayer>(const QString &reference)>;

    LayersExchange(KCLayerManager &manager, Resolver resolve, QTextStream &out, QTextStream &err);

    static bool serves(const QString &name);
    static QString usage();
    static QString help(const QString &name);
    // `arguments` starts with "export" or "import". An exit status of LayersSubcommands.
    int run(const QStringList &arguments, bool plist);

private:
    int exportItems(const QStringList &arguments);
    int importFile(const QStringList &arguments);
    int refuse(const QString &why);
    int fail(const QString &why);

    KCLayerManager &m_manager;
    Resolver m_resolve;
    QTextStream &m_out;
    QTextStream &m_err;
    bool m_plist = false;
};

} // namespace brevona
