#pragma once

#include <map>
#include <memory>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include "KCGroupLayer.h"
#include "KCLayerManager.h"
#include "LayerPicture.h"
#include "RecordingLink.h"
#include "StoreBuilder.h"
#include "TestHome.h"

namespace brevona::test {

// A store as the manager itself would have written it, so that rewritten files compare byte for
// byte:  G1 [L1 (key App0), L2, L3], A, B, G2 []
class LayerManagerFixture : public testing::Test
{
protected:
    static QVariantMap groupInfo(const QString &title)
    {
        return {{QStringLiteral("Conditions"), QVariantList()},
                {QStringLiteral("Disabled"), false},
                {QStringLiteral("Expanded"), false},
                {QStringLiteral("DisplayName"), title}};
    }
    static QVariantMap layerInfo(const QString &title, const QVariantMap &buttons = {})
    {
        return {{QStringLiteral("Conditions"), QVariantList()},
                {QStringLiteral("Disabled"), false},
                {QStringLiteral("Hybrid"), false},
                {QStringLiteral("DisplayName"), title},
                {QStringLiteral("Buttons"), buttons}};
    }

    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        StoreBuilder store(root);
        store.group(QString(), {"G1", "A", "B", "G2"}, groupInfo(QStringLiteral("root")));
        store.group("G1", {"L1", "L2", "L3"}, groupInfo("G1"));
        store.group("G2", {}, groupInfo("G2"));
        // Pictures in the pixel format the manager stores, so that a rewrite gives the same bytes.
        const auto stored = [](const QImage &picture) {
            return picture.convertToFormat(LayerPicture::PixelFormat);
        };
        store.layer("G1/L1", layerInfo("L1", StoreBuilder::buttons({"App0"})),
                    stored(StoreBuilder::layerPicture({{"App0", Qt::red}})));
        for (const char *path : {"G1/L2", "G1/L3", "A", "B"})
            store.layer(path, layerInfo(QString::fromLatin1(path).section('/', -1)),
                        stored(LayerPicture::blackLayer()));
        start();
    }

    void start()
    {
        manager = std::make_unique<KCLayerManager>(root, &link, confirmation, nullptr);
        ASSERT_EQ(manager->startup({}, nullptr, 0), KCLayerManager::Outcome::Done);
        link.sent.clear();
    }

    // The tree as text, new identifiers shown as N: "G1[L1,L2],A".
    QString tree() const
    {
        const auto name = [](const KCLayer &layer) {
            return layer.UUID().size() == 36 ? QStringLiteral("N") : layer.UUID();
        };
        QStringList rows;
        for (const auto &child : manager->rootGroup()->layers()) {
            QString row = name(*child);
            if (child->isGroup()) {
                QStringList inner;
                for (const auto &layer : static_cast<const KCGroupLayer &>(*child).layers())
                    inner.append(name(*layer));
                row += QLatin1Char('[') + inner.join(QLatin1Char(',')) + QLatin1Char(']');
            }
            rows.append(row);
        }
        return rows.join(QLatin1Char(','));
    }

    // Every file of the user's tree with a digest of its bytes.
    std::map<QString, QString> files() const
    {
        std::map<QString, QString> found;
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = QDir(root).relativeFilePath(path);
            QFile file(path);
            if (!relative.startsWith(QLatin1String("Defaults/")) && file.open(QIODevice::ReadOnly))
                found.emplace(
                    relative,
                    QString::fromLatin1(
                        QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex().left(12)));
        }
        return found;
    }

    TestHome home;
    QString root = home.dataHome() + QStringLiteral("/Lumivox/Layers");
    RecordingLink link{root};
    DeleteConfirmation *confirmation = nullptr;
    std::unique_ptr<KCLayerManager> manager;
};

} // namespace brevona::test
