#pragma once

#include <optional>

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include "Result.h"

namespace brevona {

class ApplicationCatalog;
class DriverCommandSink;
class PreferencesStore;

// What the preferences window changes, without the window: the keyboard's brightness and sleep
// time (stored clamped at once, the driver told a moment later), the hybrid zone setup, the
// paint-application menu and the hand-added applications. brevona-layers' "prefs" goes through
// the same object, so a script and the window store and send the same.
class PreferencesController : public QObject
{
    Q_OBJECT
public:
    static constexpr double kMinBrightness = 1;
    static constexpr double kMaxBrightness = 100;
    static constexpr qint64 kMinSleepTimeout = 15;
    static constexpr qint64 kMaxSleepTimeout = 300;
    // A slider that moves sends one command once it rests this long.
    static constexpr int kSendDelayMs = 100;

    struct MenuItem
    {
        QString title{};
        QString value{}; // an application identifier, or PreferenceKeys::PaintAlwaysAsk
        QImage icon{};
        bool enabled = true;
        bool separator = false;
    };

    PreferencesController(PreferencesStore &preferences, DriverCommandSink &driver,
                          QObject *parent = nullptr);
    ~PreferencesController() override;

    static double clampedBrightness(double percent);
    static qint64 clampedSleepTimeout(qint64 seconds);
    // "40%"
    static QString brightnessLabel(double percent);
    // "2 minutes 5 seconds", "1 minute", "30 seconds"
    static QString sleepTimeoutLabel(qint64 seconds);

    // Each stores its value (clamped) and schedules the one command of its kind; a pending command
    // of the same kind is replaced, one of the other kind is kept. False when the file could not
    // be written: nothing is then sent.
    bool setBrightness(double percent);
    bool setAutoAdjustBrightness(bool automatic);
    bool setSleepTimeout(qint64 seconds);
    bool setWakeOnWhenMouseMoves(bool wake);
    // Stores a valid setup and sends "HybridSetupChanged"; refuses an invalid one.
    bool setHybridSetup(const QStringList &zones);

    // Where the commands go; the hybrid zones editor sends through it too.
    DriverCommandSink &driver() const { return m_driver; }

    // The labels of the stored values.
    QString brightnessLabel() const;
    QString sleepTimeoutLabel() const;

    // Sends the pending commands now (a program about to quit).
    void flush();
    bool hasPendingCommands() const;

    // A value of a key from its text form, as a script writes it: "true"/"false", numbers,
    // strings, lists as comma-separated text, the selection colour as "#rrggbb". The error names
    // the key and what it takes.
    static Result<QVariant> parseText(const QString &key, const QString &text);
    // Stores a parsed value; the keyboard keys and the hybrid setup take the paths above. False
    // when refused or not written (logged).
    bool setValue(const QString &key, const QVariant &value);
    // The stored (or default) value of a key as text in the same form; nothing for an unknown key.
    std::optional<QString> textValue(const QString &key) const;

    // The paint-application menu: "Always Ask Me", a separator, the applications that edit TIFF
    // pictures (image viewers left out), or a disabled item saying none was found.
    static QList<MenuItem> paintApplicationsMenu(ApplicationCatalog &catalog);
    // The index of the item holding "GeneralPaintLayersUsing", else 0.
    int selectedPaintItem(const QList<MenuItem> &menu) const;
    bool setPaintApplication(const QString &value);

    // The hand-added applications: an identifier already listed is not added twice.
    QStringList customApplications() const;
    bool addCustomApplications(const QStringList &identifiers);
    bool removeCustomApplications(const QStringList &identifiers);

Q_SIGNALS:
    void customApplicationsChanged();

private:
    void schedule(const QString &command);
    void send(const QString &command);
    bool storeCustomApplications(const QStringList &list);

    PreferencesStore &m_preferences;
    DriverCommandSink &m_driver;
    // One timer per command kind, so a brightness change followed by a sleep change sends both.
    QHash<QString, QTimer *> m_pending;
};

} // namespace brevona
