#pragma once

#include <vector>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <QVariantMap>

#include <gtest/gtest.h>

#include "CommandNames.h"
#include "DriverCommandSink.h"
#include "LayerPicture.h"
#include "PropertyList.h"

namespace brevona::test {

// Records the commands an edit sends and, at the moment each arrives, checks that the store on
// disk already says what the command tells: the driver reads the files when it hears a command.
class RecordingLink final : public DriverCommandSink
{
public:
    struct Sent
    {
        QString name;
        QVariantMap info;
    };

    explicit RecordingLink(QString root)
        : m_root(std::move(root))
    {}

    std::vector<Sent> sent;

    QStringList names() const
    {
        QStringList list;
        for (const Sent &command : sent)
            list.append(command.name);
        return list;
    }

    void sendCommand(const QString &name, const QVariantMap &info) override
    {
        namespace keys = commands::keys;
        if (name == commands::ItemCreated) {
            EXPECT_EQ(order(info.value(keys::GroupId).toString()), info.value(keys::ItemOrder).toStringList())
                << "ItemCreated";
            EXPECT_FALSE(folder(info.value(keys::ItemId).toString()).isEmpty())
                << "ItemCreated before its folder";
        } else if (name == commands::ItemsDeleted) {
            for (const QString &id : info.value(keys::ItemIds).toStringList())
                EXPECT_TRUE(folder(id).isEmpty())
                    << "ItemsDeleted while " << id.toStdString() << " is on disk";
        } else if (name == commands::LayersMoved) {
            EXPECT_EQ(order(info.value(keys::GroupId).toString()), info.value(keys::ItemOrder).toStringList())
                << "LayersMoved";
        } else if (name == commands::GroupMoved) {
            EXPECT_EQ(order(QStringLiteral("Layers")), info.value(keys::ItemOrder).toStringList())
                << "GroupMoved";
        } else if (name == commands::LayerVisibilityChanged) {
            EXPECT_EQ(plist(info.value(keys::LayerId).toString()).value(QStringLiteral("Disabled")).toBool(),
                      !info.value(keys::Enabled).toBool())
                << "LayerVisibilityChanged";
        } else if (name == commands::LayerHybridStateChanged) {
            EXPECT_EQ(plist(info.value(keys::LayerId).toString()).value(QStringLiteral("Hybrid")).toBool(),
                      info.value(keys::Hybrid).toBool())
                << "LayerHybridStateChanged";
        } else if (name == commands::LayerConditionsChanged) {
            EXPECT_EQ(plist(info.value(keys::LayerId).toString()).value(keys::Conditions),
                      info.value(keys::Conditions))
                << "LayerConditionsChanged";
        } else if (name == commands::ButtonsChanged && isBackground(info.value(keys::LayerId).toString())) {
            // The built-in layers keep no key entries: the picture on disk must show each key.
            const QImage stored(backgroundPicture(info.value(keys::LayerId).toString()));
            const QVariantMap buttons = info.value(keys::Buttons).toMap();
            for (auto it = buttons.cbegin(); it != buttons.cend(); ++it) {
                const QImage sent = QImage::fromData(it.value().toMap().value(keys::Image).toByteArray());
                const auto at = LayerPicture::location(it.key());
                EXPECT_TRUE(at && !sent.isNull()) << it.key().toStdString();
                if (at && !sent.isNull()) {
                    EXPECT_EQ(LayerPicture::cut(stored, *at), sent.convertToFormat(stored.format()))
                        << "ButtonsChanged for " << it.key().toStdString() << " before its picture";
                }
            }
        } else if (name == commands::ButtonsChanged || name == commands::ButtonsDeleted) {
            const QVariantMap buttons =
                plist(info.value(keys::LayerId).toString()).value(keys::Buttons).toMap();
            const QStringList named = name == commands::ButtonsDeleted
                                          ? info.value(keys::Buttons).toStringList()
                                          : info.value(keys::Buttons).toMap().keys();
            for (const QString &key : named)
                EXPECT_EQ(buttons.contains(key), name == commands::ButtonsChanged) << name.toStdString();
        }
        sent.push_back({name, info});
    }

    static bool isBackground(const QString &id)
    {
        return id == QLatin1String("ControlButtons") || id.startsWith(QLatin1String("Lang"));
    }
    // "Lang3_Shift" is Defaults/Language3/Lang3_Shift, "ControlButtons" Defaults/ControlButtons.
    QString backgroundPicture(const QString &id) const
    {
        const QString folder =
            id == QLatin1String("ControlButtons")
                ? id
                : QStringLiteral("Language%1/%2").arg(id.section(QLatin1Char('_'), 0, 0).mid(4), id);
        return QDir(m_root).filePath(QStringLiteral("Defaults/%1/Main.tiff").arg(folder));
    }

    // The folder of an item of the user's tree; empty when it has none.
    QString folder(const QString &id) const
    {
        if (id == QLatin1String("Layers"))
            return m_root;
        if (QFileInfo(QDir(m_root).filePath(id)).isDir())
            return QDir(m_root).filePath(id);
        for (const QString &group : QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString inner = QDir(m_root).filePath(group + QLatin1Char('/') + id);
            if (group != QLatin1String("Defaults") && QFileInfo(inner).isDir())
                return inner;
        }
        return {};
    }
    QVariantMap plist(const QString &id) const
    {
        const QDir dir(folder(id));
        const QString file = dir.exists(QStringLiteral("Layer.plist")) ? QStringLiteral("Layer.plist")
                                                                       : QStringLiteral("Group.plist");
        return PropertyList::readDictionary(dir.filePath(file)).value_or(QVariantMap());
    }
    // The signature of a key's display or action plugin ("DisplayPlugin", "ActionPlugin") on file.
    QString signature(const QString &id, const QString &key, const QString &side) const
    {
        const QVariantMap buttons = plist(id).value(QStringLiteral("Buttons")).toMap();
        return buttons.value(key).toMap().value(side).toMap().value(QStringLiteral("Signature")).toString();
    }
    QStringList order(const QString &group) const
    {
        return plist(group).value(QStringLiteral("ItemOrder")).toStringList();
    }

private:
    QString m_root;
};

} // namespace brevona::test
