#pragma once

#include <memory>

#include <QStringList>

class QTextStream;

namespace brevona {

class KCLanguageLayer;
class KCLayerManager;

// brevona-layers' "labels" and "font": the control keys' labels and the language layers' fonts
// and colours, edited through the layer manager as the editor pages do, so the store, the
// "Defaults" pictures and the driver end up as after the same clicks.
class LayersTextKeys
{
public:
    LayersTextKeys(KCLayerManager &manager, QTextStream &out, QTextStream &err);

    static bool serves(const QString &name);
    static QString usage();
    static QString help(const QString &name);
    // `arguments` starts with "labels" or "font". An exit status of LayersSubcommands.
    int run(const QStringList &arguments);

private:
    int labels(const QStringList &arguments);
    int font(const QStringList &arguments);
    // "Language3", "3" or the layout name ("us").
    std::shared_ptr<KCLanguageLayer> language(const QString &reference) const;
    int finish(int outcome);
    int refuse(const QString &why);

    KCLayerManager &m_manager;
    QTextStream &m_out;
    QTextStream &m_err;
};

} // namespace brevona
