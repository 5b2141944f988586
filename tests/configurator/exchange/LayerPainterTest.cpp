// A layer painted in an outside editor: the template handed to the editor, and what the editor
// saves coming back to the layer's keys.
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QSignalSpy>
#include <QUndoStack>

#include "FakeApplicationCatalog.h"
#include "KCImportExportManager.h"
#include "KCLayerPainter.h"
#include "KCSingleLayer.h"
#include "LayerManagerFixture.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

class LayerPainterTest : public LayerManagerFixture
{
protected:
    void SetUp() override
    {
        LayerManagerFixture::SetUp();
        catalog.add({"paint", "Paint", "/apps/paint.desktop", {}});
        painter = std::make_unique<KCLayerPainter>(*manager, catalog, folder());
    }
    QString folder() const { return home.path() + "/paint"; }
    QStringList keysOf(const QString &layer) const
    {
        QStringList keys =
            std::static_pointer_cast<KCSingleLayer>(manager->findLayerByID(layer))->buttonNames();
        keys.sort();
        return keys;
    }
    // What an editor saves: the template with a yellow spot in each of `keys`.
    QImage painted(const QString &layer, const QStringList &keys)
    {
        QImage picture =
            KCImportExportManager(*manager).templateImageForLayer(*manager->findLayerByID(layer));
        QPainter brush(&picture);
        for (const QString &key : keys)
            brush.fillRect(QRect(*LayerPicture::location(key) + QPoint(20, 20), QSize(4, 4)), Qt::yellow);
        return picture;
    }

    FakeApplicationCatalog catalog;
    std::unique_ptr<KCLayerPainter> painter;
};

TEST_F(LayerPainterTest, HandsTheEditorTheLayersTemplate)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(folder() + "/Old__3.tiff"));
    painter->removeLeftovers();
    EXPECT_TRUE(QDir(folder()).isEmpty());

    const auto first = painter->paint("L1", "paint");
    ASSERT_TRUE(first) << first.error().toStdString();
    EXPECT_EQ(*first, folder() + "/L1__0.tiff");
    // What the template shows is the template export's; here only that it is one.
    EXPECT_EQ(QImage(*first).size(), QSize(1312, 376));
    const auto second = painter->paint("L1", "paint");
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, folder() + "/L1__1.tiff");
    EXPECT_EQ(catalog.opened(),
              (std::vector<std::pair<QString, QStringList>>{{"paint", {folder() + "/L1__0.tiff"}},
                                                            {"paint", {folder() + "/L1__1.tiff"}}}));

    EXPECT_EQ(painter->paint("L1", "gone").error(), "The picture editor gone is not installed");
    EXPECT_EQ(painter->paint("G1", "paint").error(), "Only a layer of your own can be painted");
    // Writing the template is no edit.
    EXPECT_EQ(manager->undoStack()->count(), 0);
    EXPECT_TRUE(link.sent.empty());
}

// One save of a file in the paint folder, then one pick-up.
struct SaveRow
{
    const char *name;
    const char *file;
    QStringList spots; // keys painted yellow on the template; empty with `size`: a black picture
    QSize size = {1312, 376};
    QStringList keysAfter; // L1's keys
    int edits;
    const char *refused = nullptr;
};

// clang-format off
const SaveRow kSaves[] = {
    {.name = "painted_keys_come_back", .file = "L1__0.tiff", .spots = {"A", "App0"}, .keysAfter = {"A", "App0"}, .edits = 1},
    // The keyboard drawing around the keys must not turn empty keys into keys.
    {.name = "template_saved_unchanged_is_no_edit", .file = "L1__0.tiff", .spots = {}, .keysAfter = {"App0"}, .edits = 0},
    {.name = "earlier_paintings_file_still_counts", .file = "L1__7.tiff", .spots = {"B"}, .keysAfter = {"App0", "B"}, .edits = 1},
    {.name = "another_size_is_refused", .file = "L1__0.tiff", .spots = {}, .size = {1311, 376}, .keysAfter = {"App0"}, .edits = 0, .refused = "Wrong image format"},
    {.name = "file_of_no_layer_is_left_alone", .file = "Z9__0.tiff", .spots = {"A"}, .keysAfter = {"App0"}, .edits = 0},
    {.name = "a_group_takes_no_picture", .file = "G1__0.tiff", .spots = {"A"}, .keysAfter = {"App0"}, .edits = 0},
};
// clang-format on

class SavedPicture : public LayerPainterTest, public testing::WithParamInterface<SaveRow>
{
};

TEST_P(SavedPicture, ComesBackToItsLayerOnly)
{
    const SaveRow &row = GetParam();
    ASSERT_TRUE(painter->paint("L1", "paint"));
    manager->setSelection({"B"});
    QImage picture = painted("L1", row.spots);
    if (row.size != picture.size())
        picture = QImage(row.size, QImage::Format_RGB32);
    ASSERT_TRUE(picture.save(folder() + "/" + row.file, "tiff"));
    // Saved later than the template, also when the test is quicker than the clock's step.
    QFile saved(folder() + "/" + row.file);
    ASSERT_TRUE(saved.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        saved.setFileTime(QDateTime::currentDateTime().addSecs(1), QFileDevice::FileModificationTime));
    saved.close();
    QSignalSpy painted(painter.get(), &KCLayerPainter::layerPainted);
    QSignalSpy refused(painter.get(), &KCLayerPainter::paintingRefused);
    link.sent.clear();

    painter->pickUp();

    EXPECT_EQ(keysOf("L1"), row.keysAfter);
    EXPECT_EQ(manager->undoStack()->count(), row.edits);
    EXPECT_EQ(painted.size(), row.edits);
    EXPECT_EQ(link.sent.size(), std::size_t(row.edits));
    EXPECT_EQ(manager->selection(), QStringList(row.edits ? "L1" : "B"));
    ASSERT_EQ(refused.size(), row.refused ? 1 : 0);
    if (row.refused) {
        EXPECT_TRUE(refused.first().first().toString().startsWith(row.refused));
    }
    if (row.edits) {
        EXPECT_EQ(manager->undoStack()->undoText(), "Paint Layer");
    }
    // A file is taken once per save.
    painter->pickUp();
    EXPECT_EQ(manager->undoStack()->count(), row.edits);
}

INSTANTIATE_TEST_SUITE_P(Rows, SavedPicture, testing::ValuesIn(kSaves), RowName());

// An editor writes in steps: the folder is read once it has been quiet, and a picture that is
// not whole yet is read again when it has been written to the end.
TEST_F(LayerPainterTest, ASaveInStepsIsTakenWhenWhole)
{
    painter->setSettleTime(20);
    const auto path = painter->paint("L1", "paint");
    ASSERT_TRUE(path);
    QByteArray whole;
    {
        QBuffer buffer(&whole);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        ASSERT_TRUE(painted("L1", {"Space"}).save(&buffer, "tiff"));
    }
    QFile file(*path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(whole.left(whole.size() / 2));
    file.flush();
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(manager->undoStack()->count(), 0);

    file.write(whole.mid(whole.size() / 2));
    file.close();
    EXPECT_TRUE(waitUntil([&] { return keysOf("L1").contains("Space"); }));
    EXPECT_EQ(manager->undoStack()->count(), 1);
}

} // namespace
} // namespace brevona::test
