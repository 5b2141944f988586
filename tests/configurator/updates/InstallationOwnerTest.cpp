#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "InstallationOwner.h"
#include "TestHome.h"
#include "TestPrinters.h"

using namespace brevona;

namespace {

struct OwnerRow
{
    const char *name;
    // One query program per entry: its shell body ("exit 0" owns the file).
    QStringList scripts;
    const char *sandbox; // FLATPAK_ID or SNAP set, or nullptr
    const char *owner;   // nullptr: nobody
};

class OwnerProbe : public testing::TestWithParam<OwnerRow>
{
};

// The query programs are stand-ins on a temporary folder; each records the path it was asked about.
TEST_P(OwnerProbe, AsksEachPackageManagerInTurn)
{
    const OwnerRow &row = GetParam();
    test::TestHome home;
    home.setEnvironment("FLATPAK_ID", std::nullopt);
    home.setEnvironment("SNAP", std::nullopt);
    if (row.sandbox)
        home.setEnvironment(row.sandbox, QStringLiteral("org.example.Brevona"));
    QTemporaryDir folder;
    QList<PackageManagerProbe::Query> queries;
    for (qsizetype i = 0; i < row.scripts.size(); ++i) {
        const QString path = folder.filePath(QStringLiteral("query%1").arg(i));
        QFile script(path);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$@\" >> \"$0.asked\"\n" + row.scripts.at(i).toUtf8() + "\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        queries.append({QStringLiteral("manager%1").arg(i), path, {QStringLiteral("-S")}});
    }
    queries.append({QStringLiteral("absent"), folder.filePath(QStringLiteral("not-installed")), {}});
    PackageManagerProbe probe(queries, 300);
    const QString program = folder.filePath(QStringLiteral("brevona-configurator"));
    const std::optional<QString> owner = probe.packageManager(program);
    EXPECT_EQ(owner, row.owner ? std::optional<QString>(QString::fromUtf8(row.owner)) : std::nullopt);
    if (!row.sandbox && !row.scripts.isEmpty()) {
        QFile asked(folder.filePath(QStringLiteral("query0.asked")));
        ASSERT_TRUE(asked.open(QIODevice::ReadOnly));
        EXPECT_TRUE(asked.readAll().startsWith("-S " + program.toUtf8()));
    }
}

// clang-format off
const OwnerRow kOwnerRows[] = {
    {.name = "FirstOwns",        .scripts = {"exit 0", "exit 0"},  .sandbox = nullptr, .owner = "manager0"},
    {.name = "SecondOwns",       .scripts = {"exit 1", "exit 0"},  .sandbox = nullptr, .owner = "manager1"},
    {.name = "Nobody",           .scripts = {"exit 1", "exit 1"},  .sandbox = nullptr, .owner = nullptr},
    {.name = "HangingKnowsNothing", .scripts = {"exec sleep 10", "exit 1"}, .sandbox = nullptr, .owner = nullptr},
    {.name = "NoQueryPrograms",  .scripts = {},                    .sandbox = nullptr, .owner = nullptr},
    {.name = "Flatpak",          .scripts = {"exit 1"},            .sandbox = "FLATPAK_ID", .owner = "Flatpak"},
    {.name = "Snap",             .scripts = {"exit 1"},            .sandbox = "SNAP", .owner = "Snap"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, OwnerProbe, testing::ValuesIn(kOwnerRows), test::RowName());

} // namespace
