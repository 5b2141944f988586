// Key edits of the configurator from the gesture to the command: pasting a full keyboard of keys
// into a layer, and one font change of a language layer under each modifier combination (the
// layer's keys drawn again, its "Defaults" picture rewritten, the command sent).
#include <QCoreApplication>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "DriverCommandSink.h"
#include "FakeKeyTranslator.h"
#include "KCDisplayActionManager.h"
#include "KCFontColorManager.h"
#include "KCKeyClipboard.h"
#include "KCLanguageLayer.h"
#include "KCLayerManager.h"
#include "KCPluginManager.h"
#include "KeyboardData.h"
#include "LanguageTable.h"
#include "StoreBuilder.h"

using namespace brevona;

namespace {

struct CountingSink final : DriverCommandSink
{
    int sent = 0;
    void sendCommand(const QString &, const QVariantMap &) override { ++sent; }
};

// A store whose layer "Full" has every key of the keyboard, each with its own picture, and an
// empty layer "Empty" to paste into; the manager over it lives as long as one benchmark.
struct KeyStore
{
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("Lumivox/Layers"));
    QStringList keys = KeyboardData::shared().keyNames();
    std::shared_ptr<test::FakeKeyTranslator> translator = std::make_shared<test::FakeKeyTranslator>();
    int us = LanguageTable::identifierForLayout(QStringLiteral("us"));

    KeyStore()
    {
        qputenv("XDG_DATA_HOME", dir.path().toUtf8());
        test::StoreBuilder store(root);
        store.group(QString(), {QStringLiteral("Full"), QStringLiteral("Empty")});
        QImage picture(KeyboardData::kPictureWidth, KeyboardData::kPictureHeight, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
        store.layer(QStringLiteral("Full"), {{"Buttons", test::StoreBuilder::buttons(keys)}}, picture);
        store.layer(QStringLiteral("Empty"), {{"Buttons", QVariantMap{}}});
        // Every letter and digit types something under each modifier combination.
        for (const QString &modifierKey : KCLanguageLayer::ModifierKeys) {
            const unsigned state = KCLanguageLayer::modifierStateForKey(modifierKey);
            for (QChar c = u'A'; c <= u'Z'; c = QChar(c.unicode() + 1))
                translator->add(QStringLiteral("us"), QString(c), state,
                                modifierKey.contains(QLatin1String("Shift")) ? QString(c)
                                                                             : QString(c).toLower());
            for (int digit = 0; digit < 10; ++digit)
                translator->add(QStringLiteral("us"), QString::number(digit), state, QString::number(digit));
        }
    }

    std::unique_ptr<KCLayerManager> manager(CountingSink &sink) const
    {
        auto made = std::make_unique<KCLayerManager>(root, &sink, nullptr, nullptr);
        if (made->startup({{us, QStringLiteral("us"), QStringLiteral("English (US)")}}, translator, us) !=
            KCLayerManager::Outcome::Done)
            return nullptr;
        return made;
    }
};

KeyStore &keyStore()
{
    static KeyStore store;
    return store;
}

void BM_Paste114KeysUntilCommandSent(benchmark::State &state)
{
    KeyStore &store = keyStore();
    CountingSink sink;
    const auto manager = store.manager(sink);
    if (!manager) {
        state.SkipWithError("the store did not load");
        return;
    }
    KCPluginManager catalogue{QStringList()};
    KCDisplayActionManager editor(*manager, catalogue, sink);
    const auto data = KCKeyClipboard::buttonsData(*manager, QStringLiteral("Full"), store.keys);
    if (!data) {
        state.SkipWithError("the keys did not reach the clipboard");
        return;
    }
    editor.setSelection(QStringLiteral("Empty"), {});
    for (auto _ : state) {
        if (editor.dropOnKey(*data, std::nullopt, false) != KCLayerManager::Outcome::Done)
            state.SkipWithError("the paste failed");
        // Until the command has left.
        QCoreApplication::processEvents();
        state.PauseTiming();
        // The next paste changes the keys again.
        manager->undo();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["keys"] = double(store.keys.size());
    state.counters["commands"] = sink.sent;
}
BENCHMARK(BM_Paste114KeysUntilCommandSent)->Unit(benchmark::kMillisecond);

void BM_FontChangePerModifierCombination(benchmark::State &state)
{
    KeyStore &store = keyStore();
    CountingSink sink;
    const auto manager = store.manager(sink);
    if (!manager) {
        state.SkipWithError("the store did not load");
        return;
    }
    const auto layer = manager->languageLayer(store.us);
    const QString modifierKey = KCLanguageLayer::ModifierKeys.at(int(state.range(0)));
    manager->setSelection({layer->UUID()});
    layer->setCurrentModifierKeys(modifierKey);
    KCFontColorManager fonts(*manager, FontCatalogue::installed());
    fonts.prepare();
    fonts.activate();
    fonts.keyboardViewSelectionDidChange({QStringLiteral("Q")});
    double size = 20;
    for (auto _ : state) {
        size = size == 20 ? 30 : 20;
        fonts.setFontSize(size);
        fonts.applyPending();
        QCoreApplication::processEvents();
    }
    state.SetLabel(modifierKey.isEmpty() ? "None" : modifierKey.toStdString());
}
BENCHMARK(BM_FontChangePerModifierCombination)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

} // namespace
