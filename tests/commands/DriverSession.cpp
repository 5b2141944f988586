#include "DriverSession.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QThread>

#include "KeyboardData.h"
#include "NullMarker.h"
#include "PropertyList.h"
#include "Rgb565Codec.h"

namespace brevona::test {

namespace {

// brevona-send's spelling of the null marker, since a property list has none.
QVariant sendable(const QVariant &value)
{
    if (isNullMarker(value))
        return QVariantMap{{QStringLiteral("$null"), true}};
    if (value.typeId() == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            *it = sendable(*it);
        return map;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant &element : list)
            element = sendable(element);
        return list;
    }
    return value;
}

} // namespace

bool sameColour(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
           std::abs(a.blue() - b.blue()) <= 8;
}

Quarters uniform(const QColor &colour)
{
    return {colour, colour, colour, colour};
}

DriverSession::DriverSession()
{
    m_store =
        std::make_unique<StoreBuilder>(QDir(m_home.dataHome()).filePath(QStringLiteral("Lumivox/Layers")));
    m_volume = std::make_unique<SimulatedVolume>(QDir(m_home.path()).filePath(QStringLiteral("keyboard")));
    m_home.setEnvironment("BREVONA_RESOURCE_DIR", QStringLiteral(BREVONA_RESOURCE_DIR));
    m_home.setEnvironment("BREVONA_SYSTEM_PLUGIN_DIR", QStringLiteral(BREVONA_TEST_PLUGIN_DIR));
    m_home.setEnvironment("BREVONA_SIMULATED_KEYBOARD", m_volume->root());
}

bool DriverSession::start()
{
    if (!m_volume->create(QByteArray()) || !m_driver.start())
        return false;
    // The second layout write follows the first composition's pictures on the writer's queue.
    return m_driver.waitForLog(QStringLiteral("Server started")) &&
           m_driver.waitForLog(QStringLiteral("Wrote vLumivox/layout.sys"), 15000, 2);
}

int DriverSession::commandCount(const QString &command)
{
    return m_driver.logCount(QStringLiteral("Command %1").arg(command));
}

bool DriverSession::waitForCommand(const QString &command, int before)
{
    return m_driver.waitForLog(QStringLiteral("Command %1").arg(command), 15000, before + 1);
}

bool DriverSession::send(const QString &command, const std::optional<QVariantMap> &info)
{
    const int before = commandCount(command);
    QStringList arguments{command};
    QByteArray input;
    if (info) {
        const auto xml = PropertyList::toData(sendable(*info));
        if (!xml)
            return false;
        input = *xml;
        arguments.append(QStringLiteral("-"));
    }
    QProcess sender;
    sender.start(QStringLiteral(BREVONA_SEND_EXECUTABLE), arguments);
    if (!sender.waitForStarted(10000))
        return false;
    sender.write(input);
    sender.closeWriteChannel();
    if (!sender.waitForFinished(20000) || sender.exitStatus() != QProcess::NormalExit ||
        sender.exitCode() != 0)
        return false;
    return waitForCommand(command, before);
}

bool DriverSession::gdbus(const QString &command, const QString &infoText)
{
    const int before = commandCount(command);
    return gdbusNotify(command, infoText) && waitForCommand(command, before);
}

QStringList DriverSession::composition()
{
    // The process's output reaches its buffer only while someone waits on it.
    while (m_driver.process().waitForReadyRead(20))
        m_driver.log();
    return m_driver.lastComposition();
}

std::optional<QImage> DriverSession::display(int n) const
{
    const auto bytes = m_volume->readDisplay(n);
    if (!bytes)
        return std::nullopt;
    return Rgb565Codec::decode(*bytes, KeyboardData::isTurnedDisplay(n));
}

std::optional<QImage> DriverSession::keyPicture(const QString &key) const
{
    const int n = displayOf(key);
    return n > 0 ? display(n) : std::nullopt;
}

std::optional<Quarters> DriverSession::quarters(const QString &key) const
{
    const auto picture = keyPicture(key);
    if (!picture)
        return std::nullopt;
    const QPoint centres[] = {{12, 12}, {36, 12}, {12, 36}, {36, 36}};
    Quarters result;
    for (int i = 0; i < 4; ++i)
        result[i] = QColor(picture->pixel(centres[i]));
    return result;
}

bool DriverSession::waitForQuarters(const QString &key, const Quarters &expected, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (const auto shown = quarters(key)) {
            bool same = true;
            for (int i = 0; i < 4; ++i)
                same = same && sameColour((*shown)[i], expected[i]);
            if (same)
                return true;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
}

bool DriverSession::waitForColour(const QString &key, const QColor &colour, int timeoutMs) const
{
    return waitForQuarters(key, uniform(colour), timeoutMs);
}

qint64 DriverSession::residentKilobytes()
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_driver.process().processId()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

int DriverSession::displayOf(const QString &key)
{
    const KeyboardData::Key *found = KeyboardData::shared().key(key);
    return found ? found->display : 0;
}

QImage DriverSession::layerPicture(const QList<QPair<QString, QColor>> &cells)
{
    QImage picture(KeyboardData::kPictureWidth, KeyboardData::kPictureHeight, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    for (const auto &[key, colour] : cells) {
        if (const KeyboardData::Key *found = KeyboardData::shared().key(key))
            painter.fillRect(found->cell(), colour);
    }
    return picture;
}

QByteArray DriverSession::tiff(const QColor &colour, int side)
{
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(1);
    writer.write(picture);
    return bytes;
}

QVariantMap DriverSession::probe(const QColor &colour)
{
    return {{QStringLiteral("Signature"), QStringLiteral("brevona.test.probe")},
            {QStringLiteral("Settings"), QVariantMap{{QStringLiteral("color"), colour.name()}}}};
}

QString DriverSession::describe(const Quarters &quarters)
{
    QStringList names;
    for (const QColor &colour : quarters)
        names.append(colour.name());
    return names.join(QLatin1Char(' '));
}

} // namespace brevona::test
