#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include <QHash>
#include <QImage>
#include <QVariantMap>

#include "KCLayer.h"

namespace brevona {

class KeyTranslator;

// The background layer of one input language: each key shows the character(s) the language's
// layout types with it, for each of the eight modifier keys ("", "Shift", "Opt", "ShiftOpt",
// "Caps", "ShiftCaps", "OptCaps", "ShiftOptCaps"), drawn with the user's fonts and colours. The
// user's overrides live in one private file per modifier key under the layer's attributes folder.
// Rendered pictures are cached per key and modifier key. Main thread only.
class KCLanguageLayer : public KCLayer
{
public:
    static const QStringList ModifierKeys;

    // The layer of the layout `layoutName` ("us", "de(nodeadkeys)"), with the language's name and
    // flag; reads the attribute files.
    static std::shared_ptr<KCLanguageLayer> newLayerWithID(const QString &layoutName,
                                                           std::shared_ptr<const KeyTranslator> translator,
                                                           const QString &title = QString(),
                                                           const QImage &icon = QImage());
    ~KCLanguageLayer() override;

    int languageID() const { return m_languageID; }
    QString layoutName() const { return m_layoutName; }
    // Also renames the layer ("Language%d") and drops the rendered pictures.
    void setLanguage(const QString &layoutName);

    bool staticLayer() const override { return true; }
    // The keys whose character depends on the language.
    QStringList buttonNames() const override;

    // "Library/Application Support/Lumivox/Background/Language-%d" in the XDG data folder.
    QString workingAttributesDir() const;
    // Creates the folder and reads the eight files; a missing or unreadable one leaves its table
    // empty.
    void loadButtonAttributes();
    static QString attributesFileName(const QString &modifierKey);

    static QString cacheKeyForModifiers(unsigned state);
    static unsigned modifierStateForKey(const QString &modifierKey);
    // The modifiers held on the session's keyboard now.
    static unsigned liveModifierState();
    QString currentModifierKeys() const { return m_currentModifierKeys; }
    // Anything but one of the eight modifier keys is refused with a log line.
    void setCurrentModifierKeys(const QString &modifierKey);

    // The key's picture for the modifiers held now.
    QImage imageForButton(const QString &name) override;
    QImage imageForButtonAndModifierState(const QString &name, unsigned state);
    QImage imageForButtonAndModifierKey(const QString &name, const QString &modifierKey);
    QString stringForButton(const QString &name, const QString &modifierKey) const;
    // The effective attributes of a key under the current modifier key.
    QVariantMap attributesForButton(const QString &name) const;
    // Under the current modifier key: nothing removes the key's overrides, otherwise the entries
    // are merged into them (the null marker removes one). The key's picture is drawn again and the
    // file of that modifier key is saved on the next event-loop pass; saves of different modifier
    // keys never replace each other.
    void updateAttributes(const std::optional<QVariantMap> &attributes, const QString &name);
    // The same under `modifierKey`, whichever is current.
    void updateAttributes(const std::optional<QVariantMap> &attributes, const QString &name,
                          const QString &modifierKey);
    // What the user changed of the key under `modifierKey`; empty when nothing.
    QVariantMap overridesForButton(const QString &name, const QString &modifierKey) const;
    // Writes one attribute file and posts KCLanguageLayerAttributesHaveChanged.
    bool saveAttributesForModifiers(const QString &modifierKey);

    QImage layerImageForModifierKey(const QString &modifierKey);

    // A sample text for font previews: the letter row as the layout types it.
    QString getQWERTYString() const;
    // Whether `family` is installed and has a glyph for the layout's first letter key.
    bool canUseFont(const QString &family) const;

private:
    KCLanguageLayer(const QString &layoutName, std::shared_ptr<const KeyTranslator> translator);
    QImage render(const QString &name, const QString &modifierKey);
    void dropPicture(const QString &cacheKey);
    bool writeAttributes(const QString &modifierKey) const;

    QString m_layoutName;
    int m_languageID = 0;
    std::shared_ptr<const KeyTranslator> m_translator;
    QString m_currentModifierKeys;
    QHash<QString, QHash<QString, QVariantMap>> m_buttonAttributes; // modifier key -> key -> overrides
    std::set<QString> m_pendingSaves;

    mutable std::mutex m_cacheLock;
    QHash<QString, QImage> m_buttonImagesCache; // modifier key + key name -> picture
    QHash<QString, QImage> m_buttonImagesPool;  // canvases to draw into again
};

} // namespace brevona
