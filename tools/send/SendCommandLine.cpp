#include "SendCommandLine.h"

#include <cstdio>

#include <QFile>
#include <QTextStream>

#include "CommandNames.h"
#include "DriverLink.h"
#include "NullMarker.h"
#include "PropertyList.h"

namespace brevona {

namespace {

const QString NullKey = QStringLiteral("$null");
// More than any command needs (a key picture is a few kilobytes); a file larger than this is a
// mistake, not a command.
constexpr qint64 MaxInfoBytes = 64 * 1024 * 1024;

QVariant resolveNulls(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        if (map.size() == 1 && map.contains(NullKey))
            return nullMarker();
        for (auto it = map.begin(); it != map.end(); ++it)
            *it = resolveNulls(*it);
        return map;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant &element : list)
            element = resolveNulls(element);
        return list;
    }
    return value;
}

std::optional<QByteArray> readInput(const QString &source, QString *error)
{
    QFile file;
    bool opened = false;
    if (source == QLatin1String("-"))
        opened = file.open(stdin, QIODevice::ReadOnly);
    else {
        file.setFileName(source);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        *error = QStringLiteral("cannot read %1: %2").arg(source, file.errorString());
        return std::nullopt;
    }
    QByteArray bytes = file.read(MaxInfoBytes + 1);
    if (bytes.size() > MaxInfoBytes) {
        *error = QStringLiteral("%1 is larger than %2 bytes").arg(source).arg(MaxInfoBytes);
        return std::nullopt;
    }
    return bytes;
}

QString resultText(DriverLink::SendResult result)
{
    switch (result) {
    case DriverLink::SendResult::NoDriver:
        return QStringLiteral("no driver owns %1").arg(commands::ServiceName);
    case DriverLink::SendResult::Rejected:
        return QStringLiteral("the info cannot be sent");
    case DriverLink::SendResult::Failed:
        return QStringLiteral("sending to the driver failed");
    case DriverLink::SendResult::Sent:
        break;
    }
    return QString();
}

} // namespace

QString SendCommandLine::usage()
{
    return QStringLiteral(
        "Usage: brevona-send NAME [FILE|-]\n"
        "Sends the command NAME to the running BrevonaDriver over the session bus. FILE, or - for\n"
        "standard input, holds the info dictionary as an XML or binary property list; without it the\n"
        "command has no info. The null marker is written <dict><key>$null</key><true/></dict>.\n"
        "Exit status: 0 sent, 1 no driver or the send failed, 2 bad arguments or info.\n");
}

std::optional<QVariantMap> SendCommandLine::parseInfo(const QByteArray &bytes, QString *error)
{
    const auto value = PropertyList::fromData(bytes);
    if (!value) {
        *error = QStringLiteral("the info is not a property list");
        return std::nullopt;
    }
    if (value->typeId() != QMetaType::QVariantMap) {
        *error = QStringLiteral("the info is not a dictionary");
        return std::nullopt;
    }
    return resolveNulls(*value).toMap();
}

int SendCommandLine::run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (arguments.contains(QLatin1String("-h")) || arguments.contains(QLatin1String("--help"))) {
        out << usage();
        return Success;
    }
    if (arguments.isEmpty() || arguments.size() > 2 || arguments.first().isEmpty() ||
        (arguments.first().startsWith(QLatin1Char('-')) && arguments.first() != QLatin1String("-"))) {
        err << "brevona-send: expected a command name and at most one info file\n" << usage();
        return UsageError;
    }
    const QString command = arguments.first();
    QVariantMap info;
    if (arguments.size() == 2) {
        QString error;
        const auto bytes = readInput(arguments.at(1), &error);
        const auto parsed = bytes ? parseInfo(*bytes, &error) : std::nullopt;
        if (!parsed) {
            err << "brevona-send: " << error << '\n';
            return UsageError;
        }
        info = *parsed;
    }

    DriverLink link;
    if (!link.isBusConnected()) {
        err << "brevona-send: no session bus: " << link.lastError() << '\n';
        return NotDelivered;
    }
    if (!link.setupDriverConnection()) {
        err << "brevona-send: " << resultText(DriverLink::SendResult::NoDriver) << '\n';
        return NotDelivered;
    }
    const DriverLink::SendResult result = link.notifyDriverForCommand(command, info);
    if (result != DriverLink::SendResult::Sent) {
        err << "brevona-send: " << resultText(result);
        if (!link.lastError().isEmpty())
            err << ": " << link.lastError();
        err << '\n';
        return result == DriverLink::SendResult::Rejected ? UsageError : NotDelivered;
    }
    // The process ends next: the bus must have the command before the connection closes.
    if (!link.flush()) {
        err << "brevona-send: " << resultText(DriverLink::SendResult::Failed) << '\n';
        return NotDelivered;
    }
    return Success;
}

} // namespace brevona
