#include "I3IpcCodec.h"

#include <QtEndian>

namespace brevona {

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr qsizetype kMagicSize = sizeof(kMagic) - 1;
constexpr qsizetype kHeaderSize = kMagicSize + 8;

} // namespace

QByteArray I3IpcCodec::encode(quint32 type, const QByteArray &payload)
{
    QByteArray message(kMagic, kMagicSize);
    char numbers[8];
    qToLittleEndian<quint32>(quint32(payload.size()), numbers);
    qToLittleEndian<quint32>(type, numbers + 4);
    message.append(numbers, sizeof(numbers));
    message.append(payload);
    return message;
}

void I3IpcCodec::feed(const QByteArray &bytes)
{
    if (!m_failed)
        m_buffer.append(bytes);
}

std::optional<I3IpcCodec::Message> I3IpcCodec::next()
{
    if (m_failed || m_buffer.size() < kHeaderSize)
        return std::nullopt;
    if (!m_buffer.startsWith(QByteArrayView(kMagic, kMagicSize))) {
        m_failed = true;
        m_buffer.clear();
        return std::nullopt;
    }
    const quint32 length = qFromLittleEndian<quint32>(m_buffer.constData() + kMagicSize);
    if (length > MaximumPayload) {
        m_failed = true;
        m_buffer.clear();
        return std::nullopt;
    }
    if (m_buffer.size() - kHeaderSize < qsizetype(length))
        return std::nullopt;
    Message message;
    message.type = qFromLittleEndian<quint32>(m_buffer.constData() + kMagicSize + 4);
    message.payload = m_buffer.mid(kHeaderSize, length);
    m_buffer.remove(0, kHeaderSize + length);
    return message;
}

} // namespace brevona
