#include "LinuxMachineIdentity.h"

#include <utility>

#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMachineIdentity, "brevona.platform.identity")

namespace brevona {

namespace {

// A machine id is 32 hexadecimal digits; anything far longer is not one.
constexpr qint64 kMaximumLength = 1024;

} // namespace

LinuxMachineIdentity::LinuxMachineIdentity(QString idFile)
    : m_idFile(std::move(idFile))
{}

std::optional<QString> LinuxMachineIdentity::serialNumber() const
{
    QFile file(m_idFile);
    if (!file.open(QIODevice::ReadOnly)) {
        qCInfo(lcMachineIdentity, "Machine id %s not readable: %s", qUtf8Printable(m_idFile),
               qUtf8Printable(file.errorString()));
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(file.read(kMaximumLength)).trimmed();
    if (text.isEmpty()) {
        qCInfo(lcMachineIdentity, "Machine id %s is empty", qUtf8Printable(m_idFile));
        return std::nullopt;
    }
    return text;
}

} // namespace brevona
