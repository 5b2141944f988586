#include "PreferencesController.h"

#include <algorithm>
#include <cmath>

#include <QColor>

#include "ApplicationCatalog.h"
#include "CommandNames.h"
#include "DriverCommandSink.h"
#include "HybridZoneSetup.h"
#include "NotificationCenter.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "SystemLogging.h"
#include "SystemNotificationNames.h"

namespace brevona {

namespace {

const QString kEditedType = QStringLiteral("image/tiff");

QString countedUnit(qint64 count, const char *unit)
{
    if (count == 0)
        return {};
    return QStringLiteral("%1 %2%3")
        .arg(count)
        .arg(QLatin1String(unit))
        .arg(count >= 2 ? QStringLiteral("s") : QString());
}

std::optional<bool> parseBool(const QString &text)
{
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("true") || word == QLatin1String("yes") || word == QLatin1String("1"))
        return true;
    if (word == QLatin1String("false") || word == QLatin1String("no") || word == QLatin1String("0"))
        return false;
    return std::nullopt;
}

QStringList splitList(const QString &text)
{
    if (text.isEmpty())
        return {};
    QStringList items = text.split(QLatin1Char(','));
    for (QString &item : items)
        item = item.trimmed();
    return items;
}

QString colourText(const QByteArray &archived)
{
    const auto colour = PreferenceKeys::Colour::fromArchive(archived);
    if (!colour)
        return {};
    return QColor::fromHsvF(float(colour->hue), float(colour->saturation), float(colour->brightness),
                            float(colour->alpha))
        .name(colour->alpha < 1 ? QColor::HexArgb : QColor::HexRgb);
}

} // namespace

PreferencesController::PreferencesController(PreferencesStore &preferences, DriverCommandSink &driver,
                                             QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_driver(driver)
{}

PreferencesController::~PreferencesController()
{
    // A change the user made just before closing still reaches the keyboard.
    flush();
}

double PreferencesController::clampedBrightness(double percent)
{
    if (std::isnan(percent))
        return kMaxBrightness;
    return std::clamp(percent, kMinBrightness, kMaxBrightness);
}

qint64 PreferencesController::clampedSleepTimeout(qint64 seconds)
{
    return std::clamp(seconds, kMinSleepTimeout, kMaxSleepTimeout);
}

QString PreferencesController::brightnessLabel(double percent)
{
    return QStringLiteral("%1%").arg(clampedBrightness(percent), 0, 'f', 0);
}

QString PreferencesController::sleepTimeoutLabel(qint64 seconds)
{
    const QString minutes = countedUnit((seconds / 60) % 60, "minute");
    const QString rest = countedUnit(seconds % 60, "second");
    // Joined by a blank only when both parts show, so the label has no stray blank at either end.
    if (minutes.isEmpty() || rest.isEmpty())
        return minutes + rest;
    return minutes + QLatin1Char(' ') + rest;
}

QString PreferencesController::brightnessLabel() const
{
    return brightnessLabel(m_preferences.realValue(PreferenceKeys::KeyboardBrightness));
}

QString PreferencesController::sleepTimeoutLabel() const
{
    return sleepTimeoutLabel(
        clampedSleepTimeout(m_preferences.integerValue(PreferenceKeys::KeyboardSleepTimeout)));
}

bool PreferencesController::setBrightness(double percent)
{
    // Stored clamped: the driver reads the file at its next start without asking anyone.
    if (!m_preferences.setValue(PreferenceKeys::KeyboardBrightness, clampedBrightness(percent)))
        return false;
    schedule(commands::ChangeBrightness);
    return true;
}

bool PreferencesController::setAutoAdjustBrightness(bool automatic)
{
    if (!m_preferences.setValue(PreferenceKeys::AutoAdjustKeyboardBrightness, automatic))
        return false;
    schedule(commands::ChangeBrightness);
    return true;
}

bool PreferencesController::setSleepTimeout(qint64 seconds)
{
    if (!m_preferences.setValue(PreferenceKeys::KeyboardSleepTimeout, clampedSleepTimeout(seconds)))
        return false;
    schedule(commands::ChangeSleepTimeout);
    return true;
}

bool PreferencesController::setWakeOnWhenMouseMoves(bool wake)
{
    if (!m_preferences.setValue(PreferenceKeys::WakeOnWhenMouseMoves, wake))
        return false;
    schedule(commands::ChangeSleepTimeout);
    return true;
}

bool PreferencesController::setHybridSetup(const QStringList &zones)
{
    if (!HybridZoneSetup::isValid(zones)) {
        qCWarning(lcSystem).noquote()
            << "A hybrid setup needs four zones with" << PreferenceKeys::ZoneLayerImage << "and"
            << PreferenceKeys::ZoneCurrentLanguage << "; not stored";
        return false;
    }
    if (!m_preferences.setValue(PreferenceKeys::HybridLayerZonesSetup, zones))
        return false;
    m_driver.sendCommand(commands::HybridSetupChanged, {{commands::keys::Zones, zones}});
    return true;
}

void PreferencesController::schedule(const QString &command)
{
    QTimer *&timer = m_pending[command];
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setInterval(kSendDelayMs);
        connect(timer, &QTimer::timeout, this, [this, command] { send(command); });
    }
    timer->start();
}

void PreferencesController::send(const QString &command)
{
    if (QTimer *timer = m_pending.value(command))
        timer->stop();
    if (command == commands::ChangeBrightness) {
        const double value = clampedBrightness(m_preferences.realValue(PreferenceKeys::KeyboardBrightness));
        m_driver.sendCommand(
            command,
            {{commands::keys::Value, qint64(value)},
             {commands::keys::Auto, m_preferences.boolValue(PreferenceKeys::AutoAdjustKeyboardBrightness)}});
    } else {
        const qint64 value =
            clampedSleepTimeout(m_preferences.integerValue(PreferenceKeys::KeyboardSleepTimeout));
        m_driver.sendCommand(command, {{commands::keys::Value, value},
                                       {commands::keys::WakeOnWhenMouseMoves,
                                        m_preferences.boolValue(PreferenceKeys::WakeOnWhenMouseMoves)}});
    }
}

void PreferencesController::flush()
{
    for (const QString &command : {commands::ChangeBrightness, commands::ChangeSleepTimeout}) {
        const QTimer *timer = m_pending.value(command);
        if (timer && timer->isActive())
            send(command);
    }
}

bool PreferencesController::hasPendingCommands() const
{
    return std::any_of(m_pending.cbegin(), m_pending.cend(), [](QTimer *timer) { return timer->isActive(); });
}

Result<QVariant> PreferencesController::parseText(const QString &key, const QString &text)
{
    const PreferenceKeys::Definition *definition = PreferenceKeys::definition(key);
    if (!definition)
        return Result<QVariant>::failure(QStringLiteral("\"%1\" is not a preference").arg(key));
    const auto expected = Result<QVariant>::failure(
        QStringLiteral("\"%1\" takes %2, not \"%3\"").arg(key, PreferenceKeys::typeName(*definition), text));
    switch (definition->type) {
    case PreferenceKeys::Type::Bool: {
        const auto flag = parseBool(text);
        return flag ? Result<QVariant>(*flag) : expected;
    }
    case PreferenceKeys::Type::Integer:
    case PreferenceKeys::Type::Real: {
        bool ok = false;
        const double number = text.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(number))
            return expected;
        if (definition->type == PreferenceKeys::Type::Real)
            return QVariant(number);
        return QVariant(qint64(std::llround(number)));
    }
    case PreferenceKeys::Type::String:
        return QVariant(text);
    case PreferenceKeys::Type::StringList: {
        const QStringList list = splitList(text);
        if (definition->length >= 0 && list.size() != definition->length)
            return expected;
        if (key == PreferenceKeys::HybridLayerZonesSetup && !HybridZoneSetup::isValid(list))
            return Result<QVariant>::failure(
                QStringLiteral("\"%1\" needs four zones holding \"%2\" and \"%3\"")
                    .arg(key, PreferenceKeys::ZoneLayerImage, PreferenceKeys::ZoneCurrentLanguage));
        return QVariant(list);
    }
    case PreferenceKeys::Type::Data: {
        const QColor colour = QColor::fromString(text.trimmed());
        if (!colour.isValid())
            return expected;
        float hue = 0, saturation = 0, brightness = 0, alpha = 1;
        colour.getHsvF(&hue, &saturation, &brightness, &alpha);
        // An achromatic colour has no hue (-1): any will do.
        return QVariant(
            PreferenceKeys::Colour{std::max(0.0f, hue), saturation, brightness, alpha}.archived());
    }
    }
    return expected;
}

bool PreferencesController::setValue(const QString &key, const QVariant &value)
{
    if (key == PreferenceKeys::KeyboardBrightness)
        return setBrightness(value.toDouble());
    if (key == PreferenceKeys::AutoAdjustKeyboardBrightness)
        return setAutoAdjustBrightness(value.toBool());
    if (key == PreferenceKeys::KeyboardSleepTimeout)
        return setSleepTimeout(value.toLongLong());
    if (key == PreferenceKeys::WakeOnWhenMouseMoves)
        return setWakeOnWhenMouseMoves(value.toBool());
    if (key == PreferenceKeys::HybridLayerZonesSetup)
        return setHybridSetup(value.toStringList());
    if (key == PreferenceKeys::CustomApplicationsBundlesList)
        return storeCustomApplications(value.toStringList());
    return m_preferences.setValue(key, value);
}

std::optional<QString> PreferencesController::textValue(const QString &key) const
{
    const PreferenceKeys::Definition *definition = PreferenceKeys::definition(key);
    if (!definition)
        return std::nullopt;
    const QVariant value = m_preferences.value(key);
    switch (definition->type) {
    case PreferenceKeys::Type::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case PreferenceKeys::Type::Integer:
        return QString::number(value.toLongLong());
    case PreferenceKeys::Type::Real:
        return QString::number(value.toDouble());
    case PreferenceKeys::Type::String:
        return value.toString();
    case PreferenceKeys::Type::StringList:
        return value.toStringList().join(QLatin1Char(','));
    case PreferenceKeys::Type::Data:
        return colourText(value.toByteArray());
    }
    return std::nullopt;
}

QList<PreferencesController::MenuItem>
PreferencesController::paintApplicationsMenu(ApplicationCatalog &catalog)
{
    QList<MenuItem> menu{{.title = QStringLiteral("Always Ask Me"), .value = PreferenceKeys::PaintAlwaysAsk},
                         {.separator = true}};
    for (const InstalledApplication &editor : catalog.editorsFor(kEditedType)) {
        if (editor.identifier.isEmpty() || editor.name.isEmpty())
            continue;
        menu.append({.title = editor.name, .value = editor.identifier, .icon = catalog.icon(editor, 16)});
    }
    if (menu.size() == 2)
        menu.append({.title = QStringLiteral("No editing applications were found"), .enabled = false});
    return menu;
}

int PreferencesController::selectedPaintItem(const QList<MenuItem> &menu) const
{
    const QString chosen = m_preferences.stringValue(PreferenceKeys::GeneralPaintLayersUsing);
    for (qsizetype i = 0; i < menu.size(); ++i) {
        if (!menu.at(i).separator && menu.at(i).enabled && menu.at(i).value == chosen)
            return int(i);
    }
    return 0;
}

bool PreferencesController::setPaintApplication(const QString &value)
{
    return m_preferences.setValue(PreferenceKeys::GeneralPaintLayersUsing, value);
}

QStringList PreferencesController::customApplications() const
{
    return m_preferences.stringListValue(PreferenceKeys::CustomApplicationsBundlesList);
}

bool PreferencesController::addCustomApplications(const QStringList &identifiers)
{
    QStringList list = customApplications();
    for (const QString &identifier : identifiers) {
        if (!identifier.isEmpty() && !list.contains(identifier))
            list.append(identifier);
    }
    return storeCustomApplications(list);
}

bool PreferencesController::removeCustomApplications(const QStringList &identifiers)
{
    QStringList list = customApplications();
    for (const QString &identifier : identifiers)
        list.removeAll(identifier);
    return storeCustomApplications(list);
}

bool PreferencesController::storeCustomApplications(const QStringList &list)
{
    QStringList unique;
    for (const QString &identifier : list) {
        if (!identifier.isEmpty() && !unique.contains(identifier))
            unique.append(identifier);
    }
    if (unique == customApplications())
        return true;
    if (!m_preferences.setValue(PreferenceKeys::CustomApplicationsBundlesList, unique))
        return false;
    NotificationCenter::defaultCenter().post(notifications::ApplicationsHelperDidUpdateCustomAppsList);
    Q_EMIT customApplicationsChanged();
    return true;
}

} // namespace brevona
