#pragma once

#include <memory>

#include <QString>
#include <QVariantMap>

class KCPluginButtonProtocol;
class KCPluginProtocol;
class QLibrary;
struct KCPluginModule;

namespace brevona {

// One "Name.plugin" folder: its information dictionary and, once loaded, its code.
class PluginBundle
{
public:
    // Nothing when the folder has no readable "Contents/Info.plist".
    static std::shared_ptr<PluginBundle> open(const QString &path);
    ~PluginBundle();

    const QString &path() const { return m_path; }
    const QVariantMap &info() const { return m_info; }

    // Loads the shared object on first use; nothing when it is missing, does not load, lacks the
    // entry point or was built for another interface version (each logged once).
    const KCPluginModule *module();

    // A new instance of the plugin `signature` names, hosted by `button`: the class named after
    // the signature, else the principal class's factory. Nothing (logged) when the code does not
    // load, no class answers, or the plugin throws while it is created.
    std::unique_ptr<KCPluginProtocol> createInstance(const QString &signature,
                                                     KCPluginButtonProtocol *button);

    // The class a signature names: its dotted parts capitalised and joined.
    static QString className(const QString &signature);

private:
    PluginBundle(QString path, QVariantMap info);

    QString m_path;
    QVariantMap m_info;
    std::unique_ptr<QLibrary> m_library;
    const KCPluginModule *m_module = nullptr;
    bool m_loadAttempted = false;
};

} // namespace brevona
