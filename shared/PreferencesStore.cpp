#include "PreferencesStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include "CommandInfo.h"
#include "Logging.h"
#include "Paths.h"
#include "PreferenceKeys.h"
#include "PropertyList.h"

namespace brevona {

namespace {

// A preferences file holds a few dozen small values; anything this large is not one.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;
// Another writer holds the lock only for one read and one write.
constexpr int kLockWaitMs = 3000;
constexpr int kStaleLockMs = 10000;

void warn(const QString &line)
{
    qCWarning(lcShared).noquote() << line;
}

} // namespace

PreferencesStore::PreferencesStore(QString path, QObject *parent)
    : QObject(parent)
    , m_path(std::move(path))
{
    m_stored = readFile().value_or(QVariantMap());
    logWrongTypes();
}

PreferencesStore::~PreferencesStore() = default;

PreferencesStore &PreferencesStore::shared()
{
    // Lives as long as the process: windows and helpers read it until the very end.
    static auto *store = new PreferencesStore(Paths::configuratorPreferencesFile());
    return *store;
}

QVariant PreferencesStore::value(const QString &key) const
{
    const QVariant stored = m_stored.value(key);
    if (const PreferenceKeys::Definition *definition = PreferenceKeys::definition(key))
        return PreferenceKeys::effectiveValue(*definition, stored);
    return stored;
}

bool PreferencesStore::boolValue(const QString &key) const
{
    return CommandInfo::boolean(value(key)).value_or(false);
}

qint64 PreferencesStore::integerValue(const QString &key) const
{
    const QVariant stored = value(key);
    return stored.canConvert<qint64>() ? stored.toLongLong() : 0;
}

double PreferencesStore::realValue(const QString &key) const
{
    const QVariant stored = value(key);
    return stored.canConvert<double>() ? stored.toDouble() : 0.0;
}

QString PreferencesStore::stringValue(const QString &key) const
{
    return CommandInfo::string(value(key)).value_or(QString());
}

QStringList PreferencesStore::stringListValue(const QString &key) const
{
    return CommandInfo::stringList(value(key)).value_or(QStringList());
}

QByteArray PreferencesStore::dataValue(const QString &key) const
{
    const QVariant stored = value(key);
    return stored.typeId() == QMetaType::QByteArray ? stored.toByteArray() : QByteArray();
}

bool PreferencesStore::contains(const QString &key) const
{
    return m_stored.contains(key);
}

bool PreferencesStore::setValue(const QString &key, const QVariant &value)
{
    QVariant stored = value;
    if (const PreferenceKeys::Definition *definition = PreferenceKeys::definition(key)) {
        const auto coerced = PreferenceKeys::coerce(*definition, value);
        if (!coerced) {
            warn(QStringLiteral("Preference %1 takes %2, not %3; it is not stored")
                     .arg(key, PreferenceKeys::typeName(*definition), CommandInfo::typeName(value)));
            return false;
        }
        stored = *coerced;
    } else if (key.isEmpty() || !PropertyList::isPropertyList(value)) {
        warn(QStringLiteral("Preference \"%1\" has no property-list value or no name; it is not stored")
                 .arg(key));
        return false;
    }
    return change(key, stored);
}

bool PreferencesStore::removeValue(const QString &key)
{
    return change(key, std::nullopt);
}

void PreferencesStore::reload()
{
    if (const auto stored = readFile())
        adopt(*stored);
}

bool PreferencesStore::change(const QString &key, const std::optional<QVariant> &value)
{
    const QFileInfo file(m_path);
    if (!QDir().mkpath(file.absolutePath())) {
        warn(QStringLiteral("Preferences folder %1 cannot be created; preference %2 is not stored")
                 .arg(file.absolutePath(), key));
        return false;
    }
    // Another process (a second configurator, a script) may change the file meanwhile: read,
    // change and write under one lock, so neither change is lost.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockWaitMs)) {
        warn(QStringLiteral("Preferences %1 stay locked by another program; preference %2 is not stored")
                 .arg(m_path, key));
        return false;
    }
    std::optional<QVariantMap> stored = readFile();
    if (!stored)
        return false;
    const auto existing = stored->constFind(key);
    const bool same =
        value ? (existing != stored->constEnd() && *existing == *value) : existing == stored->constEnd();
    if (!same) {
        if (value)
            stored->insert(key, *value);
        else
            stored->remove(key);
        if (!PropertyList::writeFile(m_path, *stored)) {
            warn(QStringLiteral("Preferences %1 cannot be written; preference %2 is not stored")
                     .arg(m_path, key));
            return false;
        }
    }
    adopt(*stored);
    return true;
}

std::optional<QVariantMap> PreferencesStore::readFile()
{
    QFile file(m_path);
    if (!file.exists())
        return QVariantMap();
    if (file.size() > kMaxFileSize)
        return setAside(QStringLiteral("is larger than %1 bytes").arg(kMaxFileSize))
                   ? std::optional(QVariantMap())
                   : std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        warn(
            QStringLiteral("Preferences %1 cannot be read (%2); the defaults are used and nothing is written")
                .arg(m_path, file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QString problem;
    const std::optional<QVariant> parsed = PropertyList::fromData(bytes, &problem);
    if (!parsed)
        return setAside(QStringLiteral("is not a property list (%1)").arg(problem))
                   ? std::optional(QVariantMap())
                   : std::nullopt;
    if (const auto dictionary = CommandInfo::dictionary(*parsed))
        return dictionary;
    return setAside(QStringLiteral("holds %1 instead of a dictionary").arg(CommandInfo::typeName(*parsed)))
               ? std::optional(QVariantMap())
               : std::nullopt;
}

bool PreferencesStore::setAside(const QString &reason)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = m_path + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = m_path + QStringLiteral(".unreadable-%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(m_path, target)) {
        warn(QStringLiteral("Preferences %1 %2 and cannot be set aside; the defaults are used and nothing is "
                            "written")
                 .arg(m_path, reason));
        return false;
    }
    warn(QStringLiteral("Preferences %1 %2; kept as %3 and the defaults are used")
             .arg(m_path, reason, target));
    return true;
}

void PreferencesStore::adopt(const QVariantMap &stored)
{
    QStringList changed;
    QSet<QString> keys;
    for (const PreferenceKeys::Definition &definition : PreferenceKeys::definitions())
        keys.insert(definition.key);
    for (auto it = m_stored.cbegin(); it != m_stored.cend(); ++it)
        keys.insert(it.key());
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        keys.insert(it.key());
    const QVariantMap previous = std::exchange(m_stored, stored);
    for (const QString &key : std::as_const(keys)) {
        const PreferenceKeys::Definition *definition = PreferenceKeys::definition(key);
        const QVariant before = definition ? PreferenceKeys::effectiveValue(*definition, previous.value(key))
                                           : previous.value(key);
        if (before != value(key))
            changed.append(key);
    }
    logWrongTypes();
    changed.sort();
    for (const QString &key : std::as_const(changed))
        Q_EMIT valueChanged(key);
}

void PreferencesStore::logWrongTypes()
{
    for (const PreferenceKeys::Definition &definition : PreferenceKeys::definitions()) {
        const auto it = m_stored.constFind(definition.key);
        if (it == m_stored.constEnd() || PreferenceKeys::coerce(definition, *it)) {
            m_loggedWrongTypes.remove(definition.key);
            continue;
        }
        if (m_loggedWrongTypes.contains(definition.key))
            continue;
        m_loggedWrongTypes.insert(definition.key);
        warn(QStringLiteral("Preference %1 in %2 is %3 instead of %4; the default is used")
                 .arg(definition.key, m_path, CommandInfo::typeName(*it),
                      PreferenceKeys::typeName(definition)));
    }
}

} // namespace brevona
