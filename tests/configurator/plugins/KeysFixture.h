#pragma once

#include <map>

#include <gtest/gtest.h>

#include "KCDisplayActionManager.h"
#include "KCPluginManager.h"
#include "RecordingLink.h"
#include "StoreBuilder.h"
#include "TestHome.h"

namespace brevona::test {

// The display and action manager over a real store (RecordingLink checks each command against the
// files) and a catalogue of the test bundles and of those a test makes in `plugins`.
class KeysFixture : public testing::Test
{
protected:
    static QImage filled(const QColor &colour)
    {
        QImage picture(48, 48, QImage::Format_RGB32);
        picture.fill(colour);
        return picture;
    }

    // Layers of these names in the root group, the first selected without keys, and their keys
    // set one edit per layer.
    void startStore(const QStringList &names, const std::map<QString, KCLayerManager::KeyStates> &keys)
    {
        ASSERT_TRUE(home.isValid());
        StoreBuilder store(root);
        store.group(QString(), names);
        for (const QString &name : names)
            store.layer(name);
        ASSERT_EQ(layers.startup({}, nullptr, 0), KCLayerManager::Outcome::Done)
            << layers.lastError().toStdString();
        for (const auto &[layer, states] : keys)
            ASSERT_EQ(layers.setKeys(layer, states, "Set Keys"), KCLayerManager::Outcome::Done);
        link.sent.clear();
        manager.setSelection(names.first(), {});
    }

    // "key:picture/display/action" of a layer's keys A to D as the model has them: the picture's
    // centre colour ("icon" for another picture), the plugins' signatures by their last part.
    QString keys(const QString &layer)
    {
        QStringList texts;
        for (const QString key : {"A", "B", "C", "D"}) {
            const auto state = layers.keyState(layer, key);
            if (!state)
                continue;
            const QString centre = state->picture.pixelColor(24, 24).name();
            const auto signature = [&](const QString &side) {
                return state->info.value(side).toMap().value("Signature").toString().section('.', -1);
            };
            texts << key + ":" +
                         (QStringList{"#000000", "#ff0000", "#00ff00", "#0000ff"}.contains(centre) ? centre
                                                                                                   : "icon") +
                         "/" + signature("DisplayPlugin") + "/" + signature("ActionPlugin");
        }
        return texts.join(' ');
    }

    TestHome home;
    QString plugins = home.dataHome() + "/plugins";
    QString root = home.dataHome() + "/Lumivox/Layers";
    RecordingLink link{root};
    KCLayerManager layers{root, &link, nullptr, nullptr};
    KCPluginManager catalogue{{QStringLiteral(BREVONA_TEST_PLUGIN_DIR), plugins}};
    KCDisplayActionManager manager{layers, catalogue, link};
};

} // namespace brevona::test
