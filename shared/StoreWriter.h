#pragma once

#include <functional>

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVariantMap>

#include "StoreNames.h"

namespace brevona {

// Writes the files of a layer store under one root folder: "Group.plist" and "Layer.plist" as XML
// property lists, "Main.tiff" as an LZW-compressed TIFF, each atomically (a temporary file that
// then replaces the target), creating the item's folder first. Every writer of stores (the
// configurator's layer manager, the sample-store generator, tests, benchmarks) goes through it.
//
// Paths are relative to the root and checked: a path leaving the root (absolute, ".." component)
// is refused. Every refused or failed operation logs one line and returns false, leaving the
// previous file in place.
class StoreWriter
{
public:
    // Called with the absolute path of every file about to be written; true makes that write fail
    // as a full disk would. Lets tests reach the failure paths of callers.
    using FaultInjector = std::function<bool(const QString &path)>;

    static inline const QString &GroupFile = storenames::GroupFile;
    static inline const QString &LayerFile = storenames::LayerFile;
    static inline const QString &PictureFile = storenames::PictureFile;

    explicit StoreWriter(QString root);

    const QString &root() const { return m_root; }
    // The absolute path of a relative one; empty when it leaves the root.
    QString absolutePath(const QString &relative) const;

    void setFaultInjector(FaultInjector injector) { m_fault = std::move(injector); }

    bool makeFolder(const QString &folder) const;
    // "Group.plist" / "Layer.plist" / "Main.tiff" in `folder` ("" is the root).
    bool writeGroup(const QString &folder, const QVariantMap &info) const;
    bool writeLayer(const QString &folder, const QVariantMap &info) const;
    bool writePicture(const QString &folder, const QImage &picture) const;
    // Any file, relative to the root, with the exact bytes given.
    bool writeBytes(const QString &file, const QByteArray &bytes) const;
    // A property list file, relative to the root.
    bool writePlist(const QString &file, const QVariantMap &info) const;

    // The TIFF bytes a layer picture is stored as.
    static QByteArray tiffData(const QImage &picture);
    // One folder name of the store: not empty, no path separator, not "." or "..".
    static bool isPlainName(const QString &name);

private:
    bool refusedByFault(const QString &path) const;

    QString m_root;
    FaultInjector m_fault;
};

} // namespace brevona
