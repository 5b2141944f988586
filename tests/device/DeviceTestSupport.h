#pragma once

#include <chrono>
#include <functional>
#include <mutex>

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QStringList>

namespace brevona::test {

// Collects log messages from every thread while it lives, debug messages of the device included.
class ThreadSafeLogCapture
{
public:
    ThreadSafeLogCapture();
    ~ThreadSafeLogCapture();
    ThreadSafeLogCapture(const ThreadSafeLogCapture &) = delete;
    ThreadSafeLogCapture &operator=(const ThreadSafeLogCapture &) = delete;

    int count(const QString &text) const;
    QStringList messages() const;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable std::mutex m_mutex;
    QStringList m_messages;
    QtMessageHandler m_previous = nullptr;
};

// Runs the event loop until the condition holds or the time is up; returns the condition.
bool spinUntil(const std::function<bool()> &condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
// Runs the pending events of the event loop.
void spinEvents();

QImage solidImage(const QColor &color, int width = 48, int height = 48,
                  QImage::Format format = QImage::Format_ARGB32_Premultiplied);
// A picture with a different colour in every pixel.
QImage noiseImage(quint32 seed);

// The display rule written out independently of the device: 16-bit 5-6-5, big-endian, with green
// below 8 dropped; a turned display gets the picture a quarter turn clockwise.
QByteArray referenceEncoding(const QImage &picture, bool turned);

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace brevona::test
