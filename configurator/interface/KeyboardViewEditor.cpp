#include "KeyboardViewEditor.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "InterfaceLogging.h"
#include "KCDisplayActionManager.h"
#include "KCKeyClipboard.h"

namespace brevona {

KeyboardViewEditor::KeyboardViewEditor() = default;

KeyboardViewEditor::~KeyboardViewEditor() = default;

void KeyboardViewEditor::setManager(KCDisplayActionManager *manager)
{
    m_manager = manager;
    m_cutKeys.clear();
}

bool KeyboardViewEditor::putButtonsInClipboard(const QStringList &keys)
{
    if (!m_manager)
        return false;
    auto data = KCKeyClipboard::buttonsData(m_manager->layers(), m_manager->layerIdentifier(), keys);
    if (!data) {
        m_lastError = QObject::tr("None of these keys is in the layer");
        return false;
    }
    QGuiApplication::clipboard()->setMimeData(data.release());
    m_cutKeys.clear();
    return true;
}

bool KeyboardViewEditor::cutButtons(const QStringList &keys)
{
    if (!putButtonsInClipboard(keys))
        return false;
    m_cutLayer = m_manager->layerIdentifier();
    m_cutKeys = keys;
    m_cutData = QGuiApplication::clipboard()->mimeData()->data(KCKeyClipboard::ButtonsMimeType);
    return true;
}

void KeyboardViewEditor::deleteButtons(const QStringList &keys)
{
    if (m_manager && m_manager->deleteKeys(keys) != KCDisplayActionManager::Outcome::Done)
        m_lastError = m_manager->lastError();
}

std::unique_ptr<QMimeData> KeyboardViewEditor::dragDataForButton(const QString &key)
{
    return m_manager ? KCKeyClipboard::dragData(m_manager->layers(), m_manager->layerIdentifier(), key)
                     : nullptr;
}

void KeyboardViewEditor::pasteDataOnButton(const std::optional<QString> &key, const QMimeData &data,
                                           std::optional<Qt::DropAction> operation)
{
    if (!m_manager)
        return;
    m_lastError.clear();
    const bool cutPasted = !m_cutKeys.isEmpty() && data.data(KCKeyClipboard::ButtonsMimeType) == m_cutData;
    const auto outcome = m_manager->dropOnKey(data, key, operation == Qt::CopyAction);
    if (outcome != KCDisplayActionManager::Outcome::Done) {
        m_lastError = m_manager->lastError();
        qCInfo(lcInterface).noquote() << m_lastError;
        return;
    }
    if (m_selector) {
        const KCDisplayActionManager::Landing landing = m_manager->lastLanding();
        m_selector(landing.keys, landing.alone);
    }
    if (!cutPasted)
        return;
    // The cut keys leave their place now that their copies stand; those pasted over themselves
    // stay.
    QStringList gone;
    const QStringList landed = key ? QStringList{*key} : m_cutKeys;
    for (const QString &cut : std::as_const(m_cutKeys)) {
        if (m_cutLayer != m_manager->layerIdentifier() || (!landed.contains(cut) && m_cutKeys.size() == 1))
            gone.append(cut);
    }
    m_cutKeys.clear();
    if (!gone.isEmpty() &&
        m_manager->deleteKeysOfLayer(m_cutLayer, gone) != KCDisplayActionManager::Outcome::Done)
        m_lastError = m_manager->lastError();
}

} // namespace brevona
