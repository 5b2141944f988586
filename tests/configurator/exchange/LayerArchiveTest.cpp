// Layer archives on a real store: export and import keep keys, pictures and conditions; archives
// that are hostile or broken are refused and leave the store and the chosen file as they were.
#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QProcess>
#include <QUndoStack>

#include "ArchiveBuilder.h"
#include "KCGroupLayer.h"
#include "KCImportExportManager.h"
#include "KCSingleLayer.h"
#include "LayerArchiveReader.h"
#include "LayerArchiveWriter.h"
#include "LayerManagerFixture.h"
#include "LayersXml.h"
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

// A group as "org.gimp.GIMP[L1{modifier},L2]": its title and application, then its layers with
// the types of their conditions.
QString groupText(const KCGroupLayer &group)
{
    QString name = group.title();
    for (const QVariant &condition : group.conditions())
        name += condition.toMap().value("Settings").toMap().value("Application").toString();
    QStringList inner;
    for (const auto &layer : group.layers()) {
        QStringList types;
        for (const QVariant &condition : layer->conditions())
            types << condition.toMap().value("Type").toString().section('.', -1);
        inner << layer->title() + (types.isEmpty() ? QString() : "{" + types.join(',') + "}");
    }
    return name + "[" + inner.join(',') + "]";
}

QString groupsText(KCLayerManager &manager, const QStringList &groups)
{
    QStringList rows;
    for (const QString &identifier : groups) {
        const auto group = std::dynamic_pointer_cast<KCGroupLayer>(manager.findLayerByID(identifier));
        rows << (group ? groupText(*group) : "missing " + identifier);
    }
    return rows.join(',');
}

class LayerArchiveTest : public LayerManagerFixture
{
protected:
    QString archivePath() const { return home.path() + "/set.layers"; }
};

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

    // Four zero bytes, then an ordinary archive once the signature is back.
    QByteArray bytes = fileBytes(archivePath());
    ASSERT_EQ(bytes.left(4), QByteArray(4, '\0'));
    LayerArchiveWriter::setPKSignature(bytes, true);
    auto opened = LayerArchiveReader::fromData(bytes, {});
    ASSERT_TRUE(opened) << opened.error().toStdString();
    for (const char *name : {"Layers.xml", "000.tiff", "001.tiff", "002.tiff", "003.tiff"})
        EXPECT_TRUE((*opened)->contains(name)) << name;
    EXPECT_FALSE((*opened)->contains("004.tiff"));
    const auto description = LayersXml::read(*(*opened)->read("Layers.xml", 1 << 20));
    ASSERT_TRUE(description);
    QStringList names;
    for (const auto &layer : *description)
        names << layer.name + ":" + layer.image;
    EXPECT_EQ(names, QStringList({"L1:000.tiff", "L2:001.tiff", "L3:002.tiff", "A:003.tiff"}))
        << "row order: G1 comes before A";
    // The group's conditions come first, in reverse.
    ASSERT_EQ(description->at(0).conditions.size(), 3);
    EXPECT_EQ(description->at(0).conditions.at(0).type, "capslock");
    EXPECT_EQ(description->at(0).conditions.at(1).type, "application");
    EXPECT_EQ(description->at(0).conditions.at(2).type, "modifier");

    link.sent.clear();
    const auto report = exchange.importLayersFile(archivePath());
    ASSERT_TRUE(report) << report.error().toStdString();
    EXPECT_EQ(report->layers, 4);
    EXPECT_TRUE(report->notes.isEmpty()) << report->notes.join('\n').toStdString();
    EXPECT_EQ(groupsText(*manager, report->groups),
              "org.gimp.GIMP[L1{capslock,modifier},L2{capslock},L3{capslock}],New Group[A]");
    EXPECT_EQ(link.names(), QStringList({"ItemCreated", "ItemCreated"})) << "one command per new group";
    EXPECT_EQ(manager->selection(), report->groups);

    const auto gimpGroup =
        std::dynamic_pointer_cast<KCGroupLayer>(manager->findLayerByID(report->groups.at(0)));
    const auto newGroup =
        std::dynamic_pointer_cast<KCGroupLayer>(manager->findLayerByID(report->groups.at(1)));
    ASSERT_TRUE(gimpGroup && newGroup);
    const auto l1 = gimpGroup->layerAtIndex(0);
    EXPECT_EQ(l1->buttonNames(), QStringList({"App0"}));
    EXPECT_EQ(keyOf(l1, "App0"), red);
    const auto a = newGroup->layerAtIndex(0);
    EXPECT_EQ(a->buttonNames(), QStringList({"A"}));
    EXPECT_EQ(keyOf(a, "A"), blue);
    EXPECT_EQ(gimpGroup->layerAtIndex(1)->buttonNames(), QStringList());

    // One step takes the whole import back, files included.
    manager->undoStack()->undo();
    EXPECT_EQ(tree(), "G1[L1,L2,L3],A,B,G2[]");
    EXPECT_TRUE(link.folder(report->groups.at(0)).isEmpty());
}

// Python's zipfile and ElementTree read the archive once its signature is back: the entries, the
// namespaces, and TIFF pictures of the keyboard's size with LZW compression (tag 259 = 5).
TEST_F(LayerArchiveTest, ExportedArchiveOpensInIndependentReaders)
{
    ASSERT_EQ(manager->setConditions("L1", {StoreBuilder::capsLock(true)}), Outcome::Done);
    KCImportExportManager exchange(*manager);
    ASSERT_TRUE(exchange.exportLayers({"L1", "A"}, archivePath()));
    const char *script = R"(
import io, struct, sys, zipfile, xml.etree.ElementTree as ET
data = open(sys.argv[1], 'rb').read()
assert data[:4] == bytes(4), data[:4]
archive = zipfile.ZipFile(io.BytesIO(b'PK\x03\x04' + data[4:]))
assert archive.testzip() is None
root = ET.fromstring(archive.read('Layers.xml'))
mac = '{http://www.kettlewood.com/xmlns/mac}'
out = [root.tag, ' '.join(sorted(archive.namelist()))]
for layer in root:
    out.append('%s %s %s %s' % (layer.tag, layer.get('name'), layer.get('image'),
        ','.join(c.get('type') + '=' + c.get('value') for c in layer.findall(mac + 'condition'))))
    tiff = archive.read(layer.get('image'))
    assert tiff[:4] == b'II*\0', tiff[:4]
    (offset,) = struct.unpack('<I', tiff[4:8])
    (count,) = struct.unpack('<H', tiff[offset:offset + 2])
    tags = {}
    for i in range(count):
        tag, kind, n, value = struct.unpack('<HHII', tiff[offset + 2 + 12 * i:offset + 14 + 12 * i])
        tags[tag] = value & 0xFFFF if kind == 3 else value
    out.append('%dx%d compression %d' % (tags[256], tags[257], tags[259]))
print('|'.join(out))
)";
    QProcess python;
    python.start("python3", {"-c", script, archivePath()});
    ASSERT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    EXPECT_EQ(python.readAllStandardOutput().trimmed(),
              "layers|000.tiff 001.tiff Layers.xml|layer L1 000.tiff capslock=1|1312x376 compression 5|"
              "layer A 001.tiff |1312x376 compression 5");
}

TEST_F(LayerArchiveTest, ExportOfNothingButBackgroundsWritesNothing)
{
    KCImportExportManager exchange(*manager);
    const auto written = exchange.exportLayers({"ControlButtons", "G2"}, archivePath());
    EXPECT_FALSE(written);
    EXPECT_FALSE(QFile::exists(archivePath()));
}

TEST_F(LayerArchiveTest, CancelledExportAndImportLeaveNoTrace)
{
    KCImportExportManager exchange(*manager);
    const auto stop = [](int percent) { return percent < 50; };
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

TEST_F(LayerArchiveTest, ForeignArchiveSkipsWhatItCannotUseWithOneLineEach)
{
    const QByteArray xml =
        describe("<layer name=\"Good\" image=\"000.tiff\"><button name=\"App0\"/><button name=\"Bogus1\"/>"
                 "<button name=\"Bogus2\"/><mac:condition type=\"language\" value=\"us\"/>"
                 "<mac:condition type=\"modifier\" value=\"Shift\"/></layer>"
                 "<layer name=\"NoPicture\" image=\"missing.tiff\"/>"
                 "<layer name=\"Small\" image=\"small.png\"/>"
                 "<layer name=\"Other\" image=\"000.tiff\"><button name=\"Bogus1\"/></layer>");
    QByteArray small;
    QBuffer buffer(&small);
    buffer.open(QIODevice::WriteOnly);
    QImage(100, 100, QImage::Format_RGB32).save(&buffer, "png");
    ASSERT_TRUE(writeFile(archivePath(),
                          zipOf({{"Layers.xml", xml}, {"000.tiff", keyboardTiff()}, {"small.png", small}})));

    KCImportExportManager exchange(*manager);
    const auto report = exchange.importLayersFile(archivePath());
    ASSERT_TRUE(report) << report.error().toStdString();
    EXPECT_EQ(groupsText(*manager, report->groups), "New Group[Good{modifier},Other]");
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

// A TIFF header that claims 100000 x 100000 pixels of RGB, with no pixels behind it.
QByteArray hugeTiff()
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("II*\0", 4);
    out << quint32(8) << quint16(8);
    // Width, height, bits per sample, no compression, RGB, strip offset, samples per pixel, strip bytes.
    const quint32 tags[][3] = {{256, 4, 100000}, {257, 4, 100000}, {258, 3, 8}, {259, 3, 1},
                               {262, 3, 2},      {273, 4, 200},    {277, 3, 3}, {279, 4, 30000}};
    for (const auto &[id, type, value] : tags)
        out << quint16(id) << quint16(type) << quint32(1) << value;
    out << quint32(0);
    return bytes;
}

QByteArray many(int count)
{
    QList<ArchiveEntry> entries{{"Layers.xml", kOneLayer}, {"000.tiff", keyboardTiff()}};
    for (int i = 0; i < count; ++i)
        entries.append({QString::asprintf("x%04d", i), "x"});
    return zipOf(entries);
}

// An archive whose headers say that 000.tiff inflates to 1000 bytes while it inflates to 40 MiB.
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

// One row per refusal reason (and per check behind it); the fuzz target covers the rest for
// crash-freedom.
// clang-format off
const HostileRow kHostileRows[] = {
    {"parent_folder_entry", [] { return zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", keyboardTiff()}, {"../evil", "x"}}); }, "outside its folder"},
    {"absolute_entry", [] { return zipOf({{"Layers.xml", kOneLayer}, {"/tmp/evil", "x"}}); }, "outside its folder"},
    {"backslash_entry", [] { return zipOf({{"Layers.xml", kOneLayer}, {"..\\evil", "x"}}); }, "outside its folder"},
    {"link_entry", [] { return zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", "/etc/passwd", S_IFLNK | 0777}}); }, "a link"},
    {"picture_bomb", [] { return zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", QByteArray(40 * 1024 * 1024, '\0')}}); }, "inflates past"},
    {"bomb_whose_headers_lie", lyingBomb, "000.tiff in the archive"},
    {"description_bomb", [] { return zipOf({{"Layers.xml", QByteArray(8 * 1024 * 1024, ' ')}, {"000.tiff", keyboardTiff()}}); }, "inflates past"},
    {"huge_picture_header", [] { return zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", hugeTiff()}}); }, "no layer that can be imported"},
    {"truncated", [] { const QByteArray whole = zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", keyboardTiff()}}); return whole.left(whole.size() / 2); }, "not a layer archive"},
    {"empty_file", [] { return QByteArray(); }, "not a layer archive"},
    {"entities_in_description", [] { return zipOf({{"Layers.xml", "<?xml version=\"1.0\"?><!DOCTYPE layers [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]><layers><layer name=\"&b;\" image=\"000.tiff\"/></layers>"}, {"000.tiff", keyboardTiff()}}); }, "document type"},
    {"encrypted_description", [] { return zipOf({{"Layers.xml", kOneLayer, S_IFREG | 0644, true}, {"000.tiff", keyboardTiff()}}); }, "encrypted"},
    {"too_many_entries", [] { return many(1024); }, "more than 1024 entries"},
    {"no_description", [] { return zipOf({{"000.tiff", keyboardTiff()}}); }, "holds no Layers.xml"},
};
// clang-format on

class Hostile : public LayerArchiveTest, public testing::WithParamInterface<HostileRow>
{
};

TEST_P(Hostile, IsRefusedAndChangesNothing)
{
    const HostileRow &row = GetParam();
    QByteArray bytes = row.archive();
    if (bytes.size() >= 4)
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

TEST_F(LayerArchiveTest, ArchiveWithTheSignatureInPlaceOpensToo)
{
    ASSERT_TRUE(writeFile(archivePath(), zipOf({{"Layers.xml", kOneLayer}, {"000.tiff", keyboardTiff()}})));
    KCImportExportManager exchange(*manager);
    const auto report = exchange.importLayersFile(archivePath());
    ASSERT_TRUE(report) << report.error().toStdString();
    EXPECT_EQ(groupsText(*manager, report->groups), "New Group[Mine]");
}

struct GroupingRow
{
    const char *name;
    QList<QVariantList> layers; // each layer's conditions
    QString groups;
};

const QVariantMap kGimp = StoreBuilder::application("org.gimp.GIMP", "isRunning");
const QVariantMap kInkscape = StoreBuilder::application("org.inkscape.Inkscape", "isActive");
const QVariantMap kShift = StoreBuilder::modifiers("Shift");

// clang-format off
const GroupingRow kGroupingRows[] = {
    {"no_application_one_new_group", {{}, {kShift}}, "New Group[0,1{modifier}]"},
    {"one_application_one_group", {{kGimp}, {kShift, kGimp}}, "org.gimp.GIMP[0,1{modifier}]"},
    {"groups_in_order_of_first_appearance", {{kInkscape}, {kGimp}, {kInkscape}}, "org.inkscape.Inkscape[0,2],org.gimp.GIMP[1]"},
    {"layers_without_application_are_kept", {{kGimp}, {kShift}}, "org.gimp.GIMP[0],New Group[1{modifier}]"},
    {"only_the_first_application_moves", {{kGimp, kInkscape}}, "org.gimp.GIMP[0{application}]"},
};
// clang-format on

class Grouping : public testing::TestWithParam<GroupingRow>
{
};

TEST_P(Grouping, ByFirstApplicationCondition)
{
    std::vector<std::shared_ptr<KCSingleLayer>> layers;
    for (qsizetype i = 0; i < GetParam().layers.size(); ++i) {
        layers.push_back(KCSingleLayer::create());
        layers.back()->setTitle(QString::number(i));
        layers.back()->setConditions(GetParam().layers.at(i));
    }
    QStringList rows;
    for (const auto &group : KCImportExportManager::groupLayersByApplication(layers)) {
        for (const QVariant &condition : group->conditions())
            EXPECT_EQ(condition.toMap().value("Settings").toMap().value("Predicate"), "isActive")
                << "the group asks for the application in front";
        rows << groupText(*group);
    }
    EXPECT_EQ(rows.join(','), GetParam().groups);
}

INSTANTIATE_TEST_SUITE_P(Rows, Grouping, testing::ValuesIn(kGroupingRows), RowName());

} // namespace
} // namespace brevona::test
