#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include "KCLayerManager.h"

class QCommandLineParser;
class QImage;
class QTextStream;

namespace brevona {

class KCLayer;

// The subcommands of brevona-layers, each a thin call into the layer manager the window uses, so
// a script changes the store and tells the driver exactly as a click would.
class LayersSubcommands
{
public:
    enum Exit
    {
        Done = 0,
        Failed = 1,   // a file operation failed; nothing changed
        BadInput = 2, // refused before anything changed
    };

    // A delete goes ahead without a question only when the command line said "--yes".
    class Confirmation : public DeleteConfirmation
    {
    public:
        bool confirmDelete(const QString &message, const QString &informative) override;
        bool allowed = false;
        QString question; // the question a refused delete would have asked
    };

    LayersSubcommands(KCLayerManager &manager, Confirmation &confirmation, QTextStream &out,
                      QTextStream &err);

    // Whether the subcommand exists, and whether it only reads the store.
    static bool exists(const QString &name);
    static bool readsOnly(const QString &name);
    static QString usage();
    static QString help(const QString &name);

    // `arguments` starts with the subcommand's name. `plist`: property-list output.
    // `inBatch`: undo and redo reach the edits of the same run.
    int run(const QStringList &arguments, bool plist, bool inBatch);

    // An item named by its identifier, its path ("GROUP/ID") or its title when only one item has
    // it; nothing, with the reason on standard error, otherwise.
    std::shared_ptr<KCLayer> resolve(const QString &reference);

private:
    struct Entry;
    static const Entry *find(const QString &name);

    int list(const QCommandLineParser &parser);
    int show(const QCommandLineParser &parser);
    int newLayer(const QCommandLineParser &parser);
    int newGroup(const QCommandLineParser &parser);
    int remove(const QCommandLineParser &parser);
    int rename(const QCommandLineParser &parser);
    int enable(const QCommandLineParser &parser);
    int disable(const QCommandLineParser &parser);
    int hybrid(const QCommandLineParser &parser);
    int move(const QCommandLineParser &parser);
    int conditions(const QCommandLineParser &parser);
    int setKey(const QCommandLineParser &parser);
    int clearKey(const QCommandLineParser &parser);
    int copyKeys(const QCommandLineParser &parser);
    int render(const QCommandLineParser &parser);
    int repair(const QCommandLineParser &parser);
    int undo(const QCommandLineParser &parser);
    int redo(const QCommandLineParser &parser);

    // The manager's verdict as an exit code, with its one line on standard error.
    int finish(int outcome);
    int refuse(const QString &why);
    int save(const QImage &picture, const QString &path);
    int created(const QString &identifier);
    // A new item, selected by the manager, and its identifier printed.
    int createTitled(bool group, const QString &title);

    KCLayerManager &m_manager;
    Confirmation &m_confirmation;
    QTextStream &m_out;
    QTextStream &m_err;
    bool m_plist = false;
    bool m_inBatch = false;
    // The subcommand's words as given, for options whose order matters.
    QStringList m_arguments;
};

} // namespace brevona
