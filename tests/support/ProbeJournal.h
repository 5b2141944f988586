#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>

namespace brevona::test {

// What the probe test plugin (tests/plugins) has been asked to do, as it writes it down; the same
// list the loaded plugin appends to. Nothing when the probe's code cannot be found in `plugins`.
inline QStringList *probeJournal(const QString &plugins)
{
    QLibrary probe(plugins + QStringLiteral("/Probe.plugin/Contents/Linux/Probe.so"));
    auto entry = reinterpret_cast<QStringList *(*)()>(probe.resolve("brevona_test_journal"));
    return entry ? entry() : nullptr;
}

} // namespace brevona::test
