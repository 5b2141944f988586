#pragma once

#include <memory>

#include <QImage>
#include <QPoint>
#include <QString>
#include <QVariant>

namespace brevona {

// One key of one layer: its 48 x 48 picture cut from the layer picture and its plugin entries.
// Plugin instances are attached by the plugin host.
class KDButton
{
public:
    static constexpr int Size = 48;

    // `layerImage` may be null: the key then starts black.
    static std::shared_ptr<KDButton> create(const QVariantMap &entry, const QString &identifier,
                                            const QImage &layerImage);
    virtual ~KDButton();

    const QString &identifier() const { return m_identifier; }
    // Takes the key's location and indexes from the button data table.
    void setIdentifier(const QString &identifier);
    const QString &context() const { return m_context; }
    void setContext(const QString &layerIdentifier) { m_context = layerIdentifier; }
    int segment() const { return m_segment; }
    void setSegment(int segment);
    int oledIndex() const { return m_oledIndex; }
    int keyIndex() const { return m_keyIndex; }
    int buttonKey() const { return m_buttonKey; }
    QPoint location() const { return m_location; }
    const QVariantMap &displayPlugin() const { return m_displayPlugin; }
    const QVariantMap &actionPlugin() const { return m_actionPlugin; }
    const QImage &image() const { return m_image; }

    virtual void activate();
    virtual void deactivate();
    bool isActivated() const { return m_isActivated; }

protected:
    KDButton() = default;

private:
    QString m_identifier;
    QString m_context;
    QImage m_image;
    QVariantMap m_displayPlugin;
    QVariantMap m_actionPlugin;
    QPoint m_location;
    int m_segment = -2;
    int m_oledIndex = 0;
    int m_keyIndex = 0;
    int m_buttonKey = 0;
    bool m_isActivated = false;
};

} // namespace brevona
