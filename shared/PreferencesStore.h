#pragma once

#include <optional>

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace brevona {

// The configurator's preferences: one property-list dictionary file, read through the key list of
// PreferenceKeys. A listed key reads as its registered default while the file does not hold it or
// holds it with another type (logged once); defaults are never written. Every change is a
// read-modify-write of the whole file under a lock file, written atomically, so keys this program
// does not know, and changes another process made meanwhile, survive. A file that is not a
// property-list dictionary is renamed aside (never deleted) and the defaults apply. Main thread.
class PreferencesStore : public QObject
{
    Q_OBJECT
public:
    explicit PreferencesStore(QString path, QObject *parent = nullptr);
    ~PreferencesStore() override;

    // The configurator's preferences file (platform Paths), opened on first use.
    static PreferencesStore &shared();

    const QString &path() const { return m_path; }

    // A listed key: its value in the key's type, or the default. Any other key: what the file
    // holds, or an invalid value.
    QVariant value(const QString &key) const;
    bool boolValue(const QString &key) const;
    qint64 integerValue(const QString &key) const;
    double realValue(const QString &key) const;
    QString stringValue(const QString &key) const;
    QStringList stringListValue(const QString &key) const;
    QByteArray dataValue(const QString &key) const;
    // Whether the file holds the key, whatever its type.
    bool contains(const QString &key) const;

    // Stores a value (a listed key only in its type). False, with one log line, when the value
    // does not fit the key or the file cannot be written; the file is then unchanged.
    bool setValue(const QString &key, const QVariant &value);
    // Removes a key from the file, so that it reads as its default again.
    bool removeValue(const QString &key);
    // Reads the file again, announcing every key whose value changed.
    void reload();

Q_SIGNALS:
    // The value of `key` as value() gives it has changed.
    void valueChanged(const QString &key);

private:
    // The file's dictionary: empty when it does not exist; nothing when it exists but cannot be
    // read (a malformed file has been set aside and reads as empty).
    std::optional<QVariantMap> readFile();
    bool setAside(const QString &reason);
    bool change(const QString &key, const std::optional<QVariant> &value);
    void adopt(const QVariantMap &stored);
    void logWrongTypes();

    QString m_path;
    QVariantMap m_stored;
    // Keys whose wrong type has been logged, until they change.
    QSet<QString> m_loggedWrongTypes;
};

} // namespace brevona
