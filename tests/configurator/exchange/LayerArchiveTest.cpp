// Layer archives on a real store: export and import keep keys, pictures and conditions; archives
// that are hostile or broken are refused and leave the store and the chosen file as they were.
#include <QFile>
#include <QProcess>
#include <QUndoStack>

#include "ArchiveBuilder.h"
#include "KCGroupLayer.h"
#include "KCImportExportManager.h"
#include "KCSingleLayer.h"
#include "LayerArchiveWriter.h"
#include "LayerManagerFixture.h"
#include "StoreBuilder.h"
#include "TestPrinters.h"

namespace brevona::test {
namespace {

using Outcome = KCLayerManager::Outcome;

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QImage keyOf(const std::shared_ptr<KCLayer> &layer, const QString &key)
{
    const auto single = std::static_pointer_cast<KCSingleLayer>(layer);
    single->ensureImageRestored();
    return single->pictureImageForButton(key).convertToFormat(QImage::Format_RGB32);
}

std::shared_ptr<KCGroupLayer> groupOf(KCLayerManager &manager, const QString &identifier)
{
    return std::dynamic_pointer_cast<KCGroupLayer>(manager.findLayerByID(identifier));
}

// Groups as "org.gimp.GIMP[L1{modifier},L2]": each title and application, then its layers with
// the types of their conditions.
QString groupsText(KCLayerManager &manager, const QStringList &groups)
{
    QStringList rows;
    for (const QString &identifier : groups) {
        const auto group = groupOf(manager, identifier);
        if (!group) {
            rows << "missing " + identifier;
            continue;
        }
        QString name = group->title();
        for (const QVariant &condition : group->conditions())
            name += condition.toMap().value("Settings").toMap().value("Application").toString();
        QStringList inner;
        for (const auto &layer : group->layers()) {
            QStringList types;
            for (const QVariant &condition : layer->conditions())
                types << condition.toMap().value("Type").toString().section('.', -1);
            inner << layer->title() + (types.isEmpty() ? QString() : "{" + types.join(',') + "}");
        }
        rows << name + "[" + inner.join(',') + "]";
    }
    return rows.join(',');
}

class LayerArchiveTest : public LayerManagerFixture
{
protected:
    QString archivePath() const { return home.path() + "/set.layers"; }
};

// Python's zipfile and ElementTree read the exported archive once its signature is back: the rows
// in the list's order (G1 before A), each group's conditions first and in reverse, and TIFF
// pictures of the keyboard's size with LZW compression (tag 259 = 5).
const char *const kReadArchive = R"(
import io, struct, sys, zipfile, xml.etree.ElementTree as ET
data = open(sys.argv[1], 'rb').read()
assert data[:4] == bytes(4), data[:4]
archive = zipfile.ZipFile(io.BytesIO(b'PK\x03\x04' + data[4:]))
assert archive.testzip() is None
root = ET.fromstring(archive.read('Layers.xml'))
assert root.tag == 'layers', root.tag
mac = '{http://www.kettlewood.com/xmlns/mac}'
out = [' '.join(sorted(archive.namelist()))]
for layer in root:
    out.append(layer.get('name') + ' ' + layer.get('image') + ' ' +
        ','.join(c.get('type') + '=' + c.get('value') for c in layer.findall(mac + 'condition')))
    tiff = archive.read(layer.get('image'))
    assert tiff[:4] == b'II*\0', tiff[:4]
    (offset,) = struct.unpack('<I', tiff[4:8])
    (count,) = struct.unpack('<H', tiff[offset:offset + 2])
    entries = [struct.unpack('<HHII', tiff[at:at + 12]) for at in range(offset + 2, offset + 2 + 12 * count, 12)]
    tags = {tag: value & 0xFFFF if kind == 3 else value for tag, kind, n, value in entries}
    assert (tags[256], tags[257], tags[259]) == (1312, 376, 5), tags
print('|'.join(out))
)";

TEST_F(LayerArchiveTest, RoundTripKeepsKeysPicturesAndConditions)
{
    // G1 asks for GIMP and Caps Lock; its L1 asks for Shift. A has a key of its own.
    const QVariantMap gimp = StoreBuilder::application("org.gimp.GIMP", "isActive");
    ASSERT_EQ(manager->setConditions("G1", {gimp, StoreBuilder::capsLock(true)}), Outcome::Done);
    ASSERT_EQ(manager->setConditions("L1", {StoreBuilder::modifiers("Shift")}), Outcome::Done);
    QImage blue(48, 48, QImage::Format_RGB32);
    blue.fill(QColor(0, 0, 255));
    ASSERT_EQ(manager->setKeyPicture("A", "A", blue), Outcome::Done);
    const QImage red = keyOf(manager->findLayerByID("L1"), "App0");
    ASSERT_EQ(red.pixelColor(24, 24), QColor(Qt::red));

    KCImportExportManager exchange(*manager);
    const auto written = exchange.exportLayers({"A", "G1"}, home.path() + "/set.zip");
    ASSERT_TRUE(written) << written.error().toStdString();
    EXPECT_EQ(*written, archivePath()) << "the extension becomes .layers";
    QProcess python;
    python.start("python3", {"-c", kReadArchive, archivePath()});
    ASSERT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    EXPECT_EQ(
        python.readAllStandardOutput().trimmed(),
        "000.tiff 001.tiff 002.tiff 003.tiff Layers.xml|"
        "L1 000.tiff capslock=1,application=org.gimp.GIMP,modifier=Shift|"
        "L2 001.tiff capslock=1,application=org.gimp.GIMP|L3 002.tiff capslock=1,application=org.gimp.GIMP|"
        "A 003.tiff");

    link.sent.clear();
    const auto report = exchange.importLayersFile(archivePath());
    ASSERT_TRUE(report) << report.error().toStdString();
    EXPECT_EQ(report->layers, 4);
    EXPECT_TRUE(report->notes.isEmpty()) << report->notes.join('\n').toStdString();
    ASSERT_EQ(groupsText(*manager, report->groups),
              "org.gimp.GIMP[L1{capslock,modifier},L2{capslock},L3{capslock}],New Group[A]");
    EXPECT_EQ(link.names(), QStringList({"ItemCreated", "ItemCreated"})) << "one command per new group";
    EXPECT_EQ(manager->selection(), report->groups);
    const auto l1 = groupOf(*manager, report->groups.at(0))->layerAtIndex(0);
    const auto a = groupOf(*manager, report->groups.at(1))->layerAtIndex(0);
    EXPECT_EQ(l1->buttonNames(), QStringList({"App0"}));
    EXPECT_EQ(keyOf(l1, "App0"), red);
    EXPECT_EQ(a->buttonNames(), QStringList({"A"}));
    EXPECT_EQ(keyOf(a, "A"), blue);
    EXPECT_EQ(groupOf(*manager, report->groups.at(0))->layerAtIndex(1)->buttonNames(), QStringList());

    // One step takes the whole import back, files included.
    manager->undoStack()->undo();
    EXPECT_EQ(tree(), "G1[L1,L2,L3],A,B,G2[]");
    EXPECT_TRUE(link.folder(report->groups.at(0)).isEmpty());
}

// Nothing but backgrounds and empty groups to export, or an export or import cancelled halfway:
// no file, no change, no command.
TEST_F(LayerArchiveTest, EmptyOrCancelledExchangesLeaveNoTrace)
{
    KCImportExportManager exchange(*manager);
    const auto stop = [](int percent) { return percent < 50; };
    EXPECT_FALSE(exchange.exportLayers({"ControlButtons", "G2"}, archivePath()));
    EXPECT_FALSE(exchange.exportLayers({"G1"}, archivePath(), stop));
    EXPECT_FALSE(QFile::exists(archivePath()));
    ASSERT_TRUE(exchange.exportLayers({"G1"}, archivePath()));
    const auto before = files();
    link.sent.clear();
    EXPECT_FALSE(exchange.importLayersFile(archivePath(), stop));
    EXPECT_EQ(files(), before);
    EXPECT_TRUE(link.sent.empty());
}

// A picture file as another program writes it: App0 red, everything else black.
QByteArray keyboardTiff()
{
    return StoreBuilder::tiff(StoreBuilder::layerPicture({{"App0", Qt::red}}));
}

QByteArray describe(const QByteArray &layers)
{
    return "<?xml version=\"1.0\"?><layers xmlns:mac=\"urn:x/xmlns/mac\">" + layers + "</layers>";
}

// An archive from elsewhere, its signature in place: what cannot be used is skipped with one note
// each, and the layers are grouped by their first application (in the order the applications
// first appear; the group asks for the application in front), the others' applications kept.
TEST_F(LayerArchiveTest, ForeignArchiveIsGroupedAndSkipsWhatItCannotUseWithOneLineEach)
{
    const QByteArray inkscape = "<mac:condition type=\"application\" value=\"org.inkscape.Inkscape\"/>";
    const QByteArray xml =
        describe("<layer name=\"Good\" image=\"000.tiff\"><button name=\"App0\"/><button name=\"Bogus1\"/>"
                 "<button name=\"Bogus2\"/><mac:condition type=\"language\" value=\"us\"/>"
                 "<mac:condition type=\"modifier\" value=\"Shift\"/>" +
                 inkscape +
                 "</layer><layer name=\"NoPicture\" image=\"missing.tiff\"/><layer name=\"Small\" "
                 "image=\"small.tiff\"/>"
                 "<layer name=\"Other\" image=\"000.tiff\"><button name=\"Bogus1\"/>"
                 "<mac:condition type=\"application\" value=\"org.gimp.GIMP\" predicate=\"isRunning\"/>" +
                 inkscape + "</layer><layer name=\"Third\" image=\"000.tiff\">" + inkscape + "</layer>");
    ASSERT_TRUE(writeFile(archivePath(), zipOf({{"Layers.xml", xml},
                                                {"000.tiff", keyboardTiff()},
                                                {"small.tiff", StoreBuilder::tiff(Qt::white, 100)}})));

    KCImportExportManager exchange(*manager);
    const auto report = exchange.importLayersFile(archivePath());
    ASSERT_TRUE(report) << report.error().toStdString();
    ASSERT_EQ(groupsText(*manager, report->groups),
              "org.inkscape.Inkscape[Good{modifier},Third],org.gimp.GIMP[Other{application}]");
    for (const QString &group : report->groups) {
        const QVariantMap settings =
            groupOf(*manager, group)->conditions().at(0).toMap().value("Settings").toMap();
        EXPECT_EQ(settings.value("Predicate"), "isActive");
    }
    EXPECT_EQ(report->notes.size(), 4) << report->notes.join('\n').toStdString();
    EXPECT_EQ(report->notes.filter("\"us\" is not a number").size(), 1);
    EXPECT_EQ(report->notes.filter("NoPicture").size(), 1);
    EXPECT_EQ(report->notes.filter("Small").size(), 1);
    EXPECT_EQ(report->notes.filter("2 unknown key names skipped: Bogus1, Bogus2").size(), 1);
}

struct HostileRow
{
    const char *name;
    std::function<QByteArray()> archive;
    const char *error;
};

const QByteArray kOneLayer =
    describe("<layer name=\"Mine\" image=\"000.tiff\"><button name=\"App0\"/></layer>");

// A TIFF header that claims 100000 x 100000 pixels with no pixels behind it. Its tags: width,
// height, 8 bits per sample, no compression, RGB, strip at 200, 3 samples per pixel, 30000 bytes.
const QByteArray kHugeTiff = QByteArray::fromHex("49492a00080000000800"
                                                 "0001040001000000a08601000101040001000000a0860100"
                                                 "020103000100000008000000030103000100000001000000"
                                                 "0601030001000000020000001101040001000000c8000000"
                                                 "150103000100000003000000170104000100000030750000"
                                                 "00000000");

// An archive whose headers say that 000.tiff inflates to 1000 bytes while it inflates to 40 MiB:
// only counting what comes out stops it.
QByteArray lyingBomb()
{
    QByteArray bytes = zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", QByteArray(40 * 1024 * 1024, '\0')}});
    const auto patch = [&](const QByteArray &signature, int nameAt, int sizeAt) {
        for (qsizetype at = bytes.indexOf(signature); at >= 0; at = bytes.indexOf(signature, at + 4)) {
            if (bytes.mid(at + nameAt, 8) == "000.tiff") {
                const char size[4] = {char(0xE8), 0x03, 0, 0};
                bytes.replace(at + sizeAt, 4, size, 4);
            }
        }
    };
    patch(QByteArray("PK\x03\x04", 4), 30, 22); // local header
    patch(QByteArray("PK\x01\x02", 4), 46, 24); // central directory
    return bytes;
}

// One row per class of attack; the fuzz target (tests/fuzz, fuzz_layer_archive) covers broken
// archives for crash-freedom.
// clang-format off
const HostileRow kHostileRows[] = {
    {"parent_folder_entry", [] { return zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", keyboardTiff()}, {"../evil", "x"}}); }, "outside its folder"},
    {"absolute_entry", [] { return zipOf({{"Layers.xml", kOneLayer}, {"/tmp/evil", "x"}}); }, "outside its folder"},
    {"link_entry", [] { return zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", "/etc/passwd", S_IFLNK | 0777}}); }, "a link"},
    {"encrypted_description", [] { return zipOf({{"Layers.xml", kOneLayer, S_IFREG | 0644, true}, {"000.tiff", keyboardTiff()}}); }, "encrypted"},
    {"too_many_entries", [] { QList<ArchiveEntry> all{{"Layers.xml", kOneLayer}}; for (int i = 0; i < 1024; ++i) all.append({QString::number(i), "x"}); return zipOf(all); }, "more than 1024 entries"},
    {"bomb_whose_headers_lie", lyingBomb, "000.tiff in the archive inflates past"},
    {"entities_in_description", [] { return zipOf({{"Layers.xml", "<?xml version=\"1.0\"?><!DOCTYPE layers [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]><layers><layer name=\"&b;\" image=\"000.tiff\"/></layers>"}, {"000.tiff", keyboardTiff()}}); }, "document type"},
    {"huge_picture_header", [] { return zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", kHugeTiff}}); }, "no layer that can be imported"},
};
// clang-format on

class Hostile : public LayerArchiveTest, public testing::WithParamInterface<HostileRow>
{
};

TEST_P(Hostile, IsRefusedAndChangesNothing)
{
    const HostileRow &row = GetParam();
    QByteArray bytes = row.archive();
    LayerArchiveWriter::setPKSignature(bytes, false); // as archives travel
    ASSERT_TRUE(writeFile(archivePath(), bytes));
    const auto before = files();
    const int undoSteps = manager->undoStack()->count();

    KCImportExportManager exchange(*manager);
    const auto report = exchange.importLayersFile(archivePath());

    ASSERT_FALSE(report);
    EXPECT_TRUE(report.error().contains(row.error)) << report.error().toStdString();
    EXPECT_FALSE(report.error().contains('\n'));
    EXPECT_EQ(files(), before);
    EXPECT_EQ(tree(), "G1[L1,L2,L3],A,B,G2[]");
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(manager->undoStack()->count(), undoSteps);
    EXPECT_EQ(fileBytes(archivePath()), bytes) << "the chosen file is never written";
}

INSTANTIATE_TEST_SUITE_P(Rows, Hostile, testing::ValuesIn(kHostileRows), RowName());

} // namespace
} // namespace brevona::test
