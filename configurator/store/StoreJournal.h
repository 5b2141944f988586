#pragma once

#include <functional>
#include <vector>

#include <QImage>
#include <QString>
#include <QVariantMap>

namespace brevona {

class StoreWriter;

// The file side of one edit: every write and folder move goes through here and is remembered, so
// that an edit whose later step fails puts back what its earlier steps changed (previous bytes of
// rewritten files, new files and folders removed, moved folders moved back). Rolled back on
// destruction unless committed.
class StoreJournal
{
public:
    explicit StoreJournal(const StoreWriter &writer);
    ~StoreJournal();
    StoreJournal(const StoreJournal &) = delete;
    StoreJournal &operator=(const StoreJournal &) = delete;

    // Folders are relative to the store's root.
    bool writeGroup(const QString &folder, const QVariantMap &info);
    bool writeLayer(const QString &folder, const QVariantMap &info);
    bool writePicture(const QString &folder, const QImage &picture);
    // Absolute paths; a rename, so the folder keeps its files exactly.
    bool moveFolder(const QString &from, const QString &to);

    void commit();
    void rollback();

private:
    bool remember(const QString &file, const std::function<bool()> &write);

    const StoreWriter &m_writer;
    std::vector<std::function<void()>> m_reverts; // newest last
};

} // namespace brevona
