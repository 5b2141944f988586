#pragma once

#include <memory>

#include <QString>
#include <QVariantMap>

class QLibrary;
struct KCPluginModule;

namespace brevona {

// One "Name.plugin" folder: its information dictionary and, once loaded, its code.
class KDPluginBundle
{
public:
    // Nothing when the folder has no readable "Contents/Info.plist".
    static std::shared_ptr<KDPluginBundle> open(const QString &path);
    ~KDPluginBundle();

    const QString &path() const { return m_path; }
    const QVariantMap &info() const { return m_info; }

    // Loads the shared object on first use; nothing when it is missing, does not load, lacks the
    // entry point or was built for another interface version (each logged once).
    const KCPluginModule *module();

private:
    KDPluginBundle(QString path, QVariantMap info);

    QString m_path;
    QVariantMap m_info;
    std::unique_ptr<QLibrary> m_library;
    const KCPluginModule *m_module = nullptr;
    bool m_loadAttempted = false;
};

} // namespace brevona
