#include "FolderSwap.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include "AppLogging.h"

namespace brevona {

namespace {

constexpr auto Entries = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

// Relative path of every plain file below `root` (top-level names in `exclude` left out) mapped to
// its content's digest; nothing when a file cannot be read.
std::optional<QMap<QString, QByteArray>> digests(const QString &root, const QStringList &exclude)
{
    QMap<QString, QByteArray> result;
    const QDir base(root);
    QDirIterator it(root, Entries, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QString relative = base.relativeFilePath(info.filePath());
        if (exclude.contains(relative.section(u'/', 0, 0)) || info.isSymLink() || !info.isFile())
            continue;
        QFile file(info.filePath());
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
            return std::nullopt;
        result.insert(relative, hash.result());
    }
    return result;
}

} // namespace

FolderSwap::FolderSwap(QString source, QString target, QStringList exclude)
    : m_source(std::move(source))
    , m_target(std::move(target))
    , m_exclude(std::move(exclude))
{}

bool FolderSwap::copyTree(const QString &from, const QString &to, const QStringList &exclude)
{
    const QDir source(from);
    const QDir target(to);
    const auto entries = source.entryInfoList(Entries, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (exclude.contains(entry.fileName()) || entry.isSymLink())
            continue;
        const QString destination = target.filePath(entry.fileName());
        if (entry.isDir()) {
            if (!target.mkdir(entry.fileName()) || !copyTree(entry.filePath(), destination))
                return false;
        } else if (!QFile::copy(entry.filePath(), destination)) {
            return false;
        }
    }
    return true;
}

bool FolderSwap::sameTree(const QString &original, const QString &copy, const QStringList &exclude)
{
    const auto a = digests(original, exclude);
    const auto b = digests(copy, {});
    return a && b && *a == *b;
}

FolderSwap::Result FolderSwap::run()
{
    const QFileInfo target(m_target);
    const QString parent = target.absolutePath();
    if (!QFileInfo(m_source).isDir())
        return {false, QStringLiteral("%1 is not a folder").arg(m_source)};
    if (!QDir().mkpath(parent))
        return {false, QStringLiteral("%1 cannot be created").arg(parent)};

    // A private sibling: same file system, so the final renames are atomic.
    QTemporaryDir copy(QDir(parent).filePath(QStringLiteral(".%1.new-XXXXXX").arg(target.fileName())));
    if (!copy.isValid())
        return {false, QStringLiteral("No working folder beside %1: %2").arg(m_target, copy.errorString())};
    if (!allowed(Step::Copy) || !copyTree(m_source, copy.path(), m_exclude))
        return {false, QStringLiteral("%1 could not be copied; %2 is unchanged").arg(m_source, m_target)};
    if (!allowed(Step::Verify) || !sameTree(m_source, copy.path(), m_exclude))
        return {false,
                QStringLiteral("The copy of %1 differs from it; %2 is unchanged").arg(m_source, m_target)};

    QString aside;
    if (target.exists() || target.isSymLink()) {
        QTemporaryDir place(QDir(parent).filePath(QStringLiteral(".%1.old-XXXXXX").arg(target.fileName())));
        if (!place.isValid())
            return {false,
                    QStringLiteral("No working folder beside %1: %2").arg(m_target, place.errorString())};
        aside = QDir(place.path()).filePath(target.fileName());
        place.setAutoRemove(false);
        if (!allowed(Step::MoveAside) || !QDir().rename(m_target, aside)) {
            QDir(place.path()).removeRecursively();
            return {false, QStringLiteral("%1 could not be moved aside; it is unchanged").arg(m_target)};
        }
    }
    if (!allowed(Step::MoveIn) || !QDir().rename(copy.path(), m_target)) {
        if (!aside.isEmpty()) {
            const QString holder = QFileInfo(aside).absolutePath();
            if (!QDir().rename(aside, m_target))
                return {false, QStringLiteral("%1 could not be put back; it is in %2").arg(m_target, holder)};
            QDir(holder).removeRecursively();
        }
        return {false,
                QStringLiteral("The copy could not take the place of %1; it is unchanged").arg(m_target)};
    }
    copy.setAutoRemove(false);
    if (!aside.isEmpty()) {
        const QString holder = QFileInfo(aside).absolutePath();
        if (!allowed(Step::RemoveOld) || !QDir(holder).removeRecursively()) {
            const QString note =
                QStringLiteral("%1 was replaced; its former content stays in %2").arg(m_target, holder);
            qCWarning(lcApp).noquote() << note;
            return {true, note};
        }
    }
    return {true, QString()};
}

} // namespace brevona
