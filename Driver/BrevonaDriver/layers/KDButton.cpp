#include "KDButton.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>

#include "CommandNames.h"
#include "LayerLogging.h"
#include "Paths.h"
#include "PropertyList.h"

namespace brevona {

namespace {

struct ButtonInfo
{
    QPoint location;
    int oledIndex = 0;
    int keyIndex = 0;
    int buttonKey = 0;
};

QPoint parsePoint(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*\{\s*(-?[\d.]+)\s*,\s*(-?[\d.]+)\s*\}\s*$)"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    return QPoint(qRound(match.captured(1).toDouble()), qRound(match.captured(2).toDouble()));
}

// The button data table, loaded once when the first button is made.
const QHash<QString, ButtonInfo> &globalButtonsInfo()
{
    static const QHash<QString, ButtonInfo> table = [] {
        QHash<QString, ButtonInfo> result;
        const QString path = QDir(Paths::resourceFolder()).filePath(QStringLiteral("LumivoxBrevonaData.plist"));
        const auto plist = PropertyList::readDictionary(path);
        if (!plist) {
            qCWarning(lcLayers).noquote() << "Button data table is missing or unreadable:" << path;
            return result;
        }
        for (auto it = plist->constBegin(); it != plist->constEnd(); ++it) {
            const QVariantMap entry = it.value().toMap();
            ButtonInfo info;
            info.location = parsePoint(entry.value(QStringLiteral("Location")).toString());
            info.oledIndex = entry.value(QStringLiteral("OLEDIndex")).toInt();
            info.keyIndex = entry.value(QStringLiteral("KeyIndex")).toInt();
            info.buttonKey = entry.value(QStringLiteral("Char")).toInt() & 0xFF;
            result.insert(it.key(), info);
        }
        return result;
    }();
    return table;
}

} // namespace

std::shared_ptr<KDButton> KDButton::create(const QVariantMap &entry, const QString &identifier,
                                           const QImage &layerImage)
{
    std::shared_ptr<KDButton> button(new KDButton);
    button->setIdentifier(identifier);
    button->m_image = QImage(Size, Size, QImage::Format_ARGB32_Premultiplied);
    button->m_image.fill(Qt::black);
    if (!layerImage.isNull()) {
        // The location is the key cell's top-left corner in the layer picture, which is also
        // QImage's origin, so the cut needs no flip.
        const QRect cell(button->m_location, QSize(Size, Size));
        if (layerImage.rect().contains(cell))
            button->m_image = layerImage.copy(cell).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    const QVariant display = entry.value(commands::keys::DisplayPlugin);
    if (display.typeId() == QMetaType::QVariantMap)
        button->m_displayPlugin = display.toMap();
    const QVariant action = entry.value(commands::keys::ActionPlugin);
    if (action.typeId() == QMetaType::QVariantMap)
        button->m_actionPlugin = action.toMap();
    return button;
}

KDButton::~KDButton() = default;

void KDButton::setIdentifier(const QString &identifier)
{
    m_identifier = identifier;
    const ButtonInfo info = globalButtonsInfo().value(identifier);
    m_location = info.location;
    m_oledIndex = info.oledIndex;
    m_keyIndex = info.keyIndex;
    m_buttonKey = info.buttonKey;
}

void KDButton::setSegment(int segment)
{
    // A key with an action always covers the whole picture.
    m_segment = m_actionPlugin.isEmpty() ? segment : -2;
}

void KDButton::activate()
{
    m_isActivated = true;
}

void KDButton::deactivate()
{
    m_isActivated = false;
}

} // namespace brevona
