#pragma once

#include <array>
#include <memory>
#include <optional>
#include <ostream>

#include <QColor>
#include <QImage>
#include <QString>
#include <QVariantMap>

#include "DriverProcess.h"
#include "SimulatedVolume.h"
#include "StoreBuilder.h"
#include "TestHome.h"

// Readable values in test failures.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *out)
{
    *out << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace brevona::test {

// The colours of the four quarters of a key picture: top-left, top-right, bottom-left,
// bottom-right (the zones 0 to 3).
using Quarters = std::array<QColor, 4>;

// The real driver on the suite's session bus, with a temporary home, a layer store written by the
// test, the probe plugins and a simulated keyboard whose display files the test decodes.
class DriverSession
{
public:
    DriverSession();

    bool isValid() const { return m_home.isValid(); }
    StoreBuilder &store() { return *m_store; }
    SimulatedVolume &volume() { return *m_volume; }
    DriverProcess &driver() { return m_driver; }
    TestHome &home() { return m_home; }

    // Makes the keyboard folder, starts the driver and waits until it serves commands and its first
    // composition is on the displays.
    bool start();

    // The command through brevona-send, its info written as an XML property list on standard input
    // (nothing: no info); then waits until the driver has taken it. False when brevona-send failed
    // or the driver did not log the command.
    bool send(const QString &command, const std::optional<QVariantMap> &info);
    // The same through gdbus, `infoText` in GVariant text form.
    bool gdbus(const QString &command, const QString &infoText);
    // After a command was sent by other means: waits for the driver to log it (`before` = the count
    // of "Command <name>" lines before sending).
    bool waitForCommand(const QString &command, int before);
    int commandCount(const QString &command);
    int compositions() { return m_driver.logCount(QStringLiteral("Composition:")); }

    // The picture display n shows, upright, as the keyboard would show it.
    std::optional<QImage> display(int n) const;
    std::optional<QImage> keyPicture(const QString &key) const;
    std::optional<Quarters> quarters(const QString &key) const;
    // Polls the display of `key` until its quarters show `expected`.
    bool waitForQuarters(const QString &key, const Quarters &expected, int timeoutMs = 8000) const;
    bool waitForColour(const QString &key, const QColor &colour, int timeoutMs = 8000) const;

    // The newest "Composition:" line's layer identifiers, bottom first, after taking in whatever
    // the driver has written by now.
    QStringList composition();
    // The driver's resident memory in kilobytes (VmRSS), 0 when it cannot be read.
    qint64 residentKilobytes();

    static int displayOf(const QString &key);
    // A layer picture, black but for the given keys' cells.
    static QImage layerPicture(const QList<QPair<QString, QColor>> &cells);
    // A picture file's bytes, as the configurator sends "Image".
    static QByteArray tiff(const QColor &colour, int side = 48);
    // The probe display plugin that paints its "color" setting when it is activated.
    static QVariantMap probe(const QColor &colour);
    static QString describe(const Quarters &quarters);

private:
    TestHome m_home;
    std::unique_ptr<StoreBuilder> m_store;
    std::unique_ptr<SimulatedVolume> m_volume;
    DriverProcess m_driver;
};

bool sameColour(const QColor &a, const QColor &b);
Quarters uniform(const QColor &colour);

} // namespace brevona::test
