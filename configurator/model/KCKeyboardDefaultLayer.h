#pragma once

#include <memory>
#include <optional>
#include <set>

#include <QHash>
#include <QImage>
#include <QStringList>
#include <QVariantMap>

#include "KCLayer.h"

namespace brevona {

// The control buttons: each control key of the keyboard data set shows a label (one of those the
// data set offers, the first by default) drawn in the user's colours and size. The user's labels
// and attributes live in "Labels.plist" and "Attributes.plist" of the layer's own folder.
// Main thread only.
class KCKeyboardDefaultLayer : public KCLayer
{
public:
    static const QString Identifier;

    // Reads the offered labels and the user's files.
    static std::shared_ptr<KCKeyboardDefaultLayer> create();
    ~KCKeyboardDefaultLayer() override;

    bool staticLayer() const override { return true; }
    QStringList buttonNames() const override;

    // "Library/Application Support/Lumivox/Background/ControlButtons" in the XDG data folder.
    QString workingAttributesDir() const;

    QStringList labelsForButton(const QString &name) const;
    QString defaultLabelForButton(const QString &name) const;
    QString labelForButton(const QString &name) const;
    // The control defaults with a size that shrinks with the label's length, never below the
    // legible minimum.
    static QVariantMap defaultAttributesForLabel(const QString &label);
    QVariantMap attributesForButton(const QString &name) const;

    QImage imageForButton(const QString &name) override;
    // Merges the entries into the key's overrides (the null marker removes one; nothing removes
    // them all); the file is saved on the next event-loop pass.
    void updateAttributes(const std::optional<QVariantMap> &attributes, const QString &name);
    void setLabel(const QString &label, const QString &name);
    // The key shows its default label again.
    void forgetLabel(const QString &name);
    // What the user chose and changed for the key; nothing or empty when the defaults apply.
    std::optional<QString> storedLabelForButton(const QString &name) const;
    QVariantMap overridesForButton(const QString &name) const { return m_buttonAttributes.value(name); }
    // "labels" writes "Labels.plist", "attributes" writes "Attributes.plist"; then posts
    // KCKeyboardDefaultLayerHaveChanged.
    bool saveData(const QString &what);

    QImage layerImage();

private:
    KCKeyboardDefaultLayer();
    void loadData();
    void scheduleSave(const QString &what);
    bool writeData(const QString &what) const;

    QHash<QString, QStringList> m_myButtons;
    QHash<QString, QImage> m_buttonImagesCache;
    QHash<QString, QVariantMap> m_buttonAttributes;
    QHash<QString, QString> m_buttonLabels;
    std::set<QString> m_pendingSaves;
};

} // namespace brevona
