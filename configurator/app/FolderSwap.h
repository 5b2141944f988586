#pragma once

#include <functional>

#include <QString>
#include <QStringList>

namespace brevona {

// Replaces a folder by a copy of another without ever losing either: the source is copied into a
// private sibling of the target, the copy is compared with the source file by file, then the old
// target is moved aside and the copy renamed into its place, and only then is the old target
// removed. A failure at any step leaves the target as it was (or, when only the final removal
// fails, complete and new, with the old folder kept beside it) and removes the partial copy.
class FolderSwap
{
public:
    enum class Step
    {
        Copy,      // the source into the private sibling
        Verify,    // the copy against the source
        MoveAside, // the old target out of the way
        MoveIn,    // the copy into the target's place
        RemoveOld, // the old target
    };

    struct Result
    {
        bool replaced = false; // the target now holds the copy
        QString error;         // why not, or what was left behind
    };

    // `exclude`: names of top-level entries of the source not to copy.
    FolderSwap(QString source, QString target, QStringList exclude = {});

    Result run();

    // Tests make a step fail: the hook answers false for the step that should fail.
    void setFaultHook(std::function<bool(Step)> hook) { m_fault = std::move(hook); }

    // Copies `from` into the existing folder `to` (files and folders, recursively; symbolic links
    // are not followed and not copied). False at the first failure.
    static bool copyTree(const QString &from, const QString &to, const QStringList &exclude = {});
    // Whether `copy` holds exactly the files of `original` (less `exclude`) with the same bytes.
    static bool sameTree(const QString &original, const QString &copy, const QStringList &exclude = {});

private:
    bool allowed(Step step) const { return !m_fault || m_fault(step); }

    QString m_source;
    QString m_target;
    QStringList m_exclude;
    std::function<bool(Step)> m_fault;
};

} // namespace brevona
