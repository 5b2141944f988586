#pragma once

#include <QString>
#include <QVariantMap>

namespace brevona {

// Where the configurator's edits send their one command after the store files are written. The
// driver link is the real one; tests record what arrives and when.
class DriverCommandSink
{
public:
    virtual ~DriverCommandSink() = default;
    // One way: never waits, never fails the edit (a command without a driver is dropped).
    virtual void sendCommand(const QString &command, const QVariantMap &info) = 0;
};

} // namespace brevona
