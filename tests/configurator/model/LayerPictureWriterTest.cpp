// Saving layer pictures: serial writes per file, and delayed saves keyed by layer and modifier key.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FakeKeyTranslator.h"
#include "KCLanguageLayer.h"
#include "KCSingleLayer.h"
#include "LayerPicture.h"
#include "LayerPictureSaver.h"
#include "LayerPictureWriter.h"
#include "TestHome.h"
#include "Wait.h"

namespace brevona::test {
namespace {

QImage shade(int level)
{
    QImage picture(LayerPicture::Width, LayerPicture::Height, QImage::Format_ARGB32_Premultiplied);
    picture.fill(QColor(level, level, level));
    return picture;
}

// Real TIFF writes that can be held at the door, counting how many run at once.
struct GatedFiles
{
    std::mutex lock;
    std::condition_variable opened;
    bool open = true;
    std::atomic_int running = 0;
    std::atomic_int mostAtOnce = 0;
    std::vector<int> levels; // shade of every picture written, in order

    LayerPictureWriter::FileWriter writer()
    {
        return [this](const QString &path, const QImage &picture) {
            const int now = ++running;
            mostAtOnce = std::max(mostAtOnce.load(), now);
            {
                std::unique_lock guard(lock);
                opened.wait(guard, [this] { return open; });
                levels.push_back(qRed(picture.pixel(0, 0)));
            }
            const bool written = LayerPictureWriter::writeTiff(path, picture);
            --running;
            return written;
        };
    }
    void setOpen(bool value)
    {
        std::lock_guard guard(lock);
        open = value;
        opened.notify_all();
    }
};

TEST(LayerPictureWriter, WritesOfOneFileAreSerialAndTheNewestLandsLast)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Layer/Main.tiff");
    GatedFiles files;
    LayerPictureWriter writer(files.writer());

    files.setOpen(false);
    writer.write(path, shade(10));
    ASSERT_TRUE(waitUntil([&] { return files.running == 1; }));
    for (int level = 20; level <= 50; level += 10)
        writer.write(path, shade(level));
    files.setOpen(true);
    ASSERT_TRUE(writer.waitForDone(10000));

    EXPECT_EQ(files.mostAtOnce, 1);
    EXPECT_EQ(files.levels, std::vector<int>({10, 50}));
    EXPECT_EQ(qRed(QImage(path).pixel(0, 0)), 50);
}

TEST(LayerPictureWriter, DifferentFilesAreWrittenSideBySide)
{
    QTemporaryDir dir;
    GatedFiles files;
    LayerPictureWriter writer(files.writer());
    files.setOpen(false);
    writer.write(dir.filePath("One/Main.tiff"), shade(10));
    writer.write(dir.filePath("Two/Main.tiff"), shade(20));
    EXPECT_TRUE(waitUntil([&] { return files.running == 2; }));
    files.setOpen(true);
    ASSERT_TRUE(writer.waitForDone(10000));
    EXPECT_EQ(qRed(QImage(dir.filePath("Two/Main.tiff")).pixel(0, 0)), 20);
}

TEST(LayerPictureSaver, LanguageSavesAreKeyedByModifierKey)
{
    TestHome home;
    auto translator = std::make_shared<FakeKeyTranslator>();
    translator->add("us", "Q", 0, "q");
    translator->add("us", "Q", KeyTranslator::kShift, "Q");
    translator->add("us", "Q", KeyTranslator::kOption, "@");
    const auto language = KCLanguageLayer::newLayerWithID("us", translator);
    const auto other = KCSingleLayer::create();
    QTemporaryDir dir;
    const auto path = [&](const QString &name) { return dir.filePath(name + "/Main.tiff"); };

    GatedFiles files;
    LayerPictureWriter writer(files.writer());
    LayerPictureSaver saver(writer, std::chrono::milliseconds(20));
    saver.schedule(language, "Shift", path("Shift"));
    saver.schedule(language, "Shift", path("Shift"));
    saver.schedule(language, "Opt", path("Opt"));
    other->createButton("A");
    saver.schedule(other, "", path("Other"));
    ASSERT_TRUE(waitUntil([&] { return !saver.hasPending(); }));
    ASSERT_TRUE(writer.waitForDone(10000));

    EXPECT_EQ(files.levels.size(), 3u);
    for (const QString modifierKey : {"Shift", "Opt"}) {
        const QImage written(path(modifierKey));
        ASSERT_FALSE(written.isNull()) << qPrintable(modifierKey);
        EXPECT_EQ(written.convertToFormat(LayerPicture::PixelFormat),
                  language->layerImageForModifierKey(modifierKey));
    }
    EXPECT_FALSE(QImage(path("Other")).isNull());
}

TEST(LayerPictureSaver, ALayerGoneBeforeItsSaveIsNotWritten)
{
    QTemporaryDir dir;
    LayerPictureWriter writer;
    LayerPictureSaver saver(writer);
    auto layer = KCSingleLayer::create();
    layer->createButton("A");
    saver.schedule(layer, "", dir.filePath("Gone/Main.tiff"));
    layer.reset();
    saver.flush();
    ASSERT_TRUE(writer.waitForDone(10000));
    EXPECT_FALSE(QDir(dir.filePath("Gone")).exists());
}

} // namespace
} // namespace brevona::test
