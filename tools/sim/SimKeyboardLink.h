#pragma once

#include <memory>
#include <optional>

#include <QLocalSocket>
#include <QString>

namespace brevona {

class KeyInjector;
class KeyboardData;

// The simulated keyboard's keys as the real keyboard's reach the computer: each key event goes to
// the running driver's simulated HID socket and, in an X session, to the X server through XTEST,
// back to back, so that the driver sees the HID report and the key press arrive together. The
// socket and the X connection are opened once, before the first key, so that nothing slow lies
// between the two.
class SimKeyboardLink
{
public:
    // `root`: the folder standing for the volume. Without `injector` no key reaches the session.
    SimKeyboardLink(QString root, const KeyboardData &data, std::unique_ptr<KeyInjector> injector);
    ~SimKeyboardLink();
    SimKeyboardLink(const SimKeyboardLink &) = delete;
    SimKeyboardLink &operator=(const SimKeyboardLink &) = delete;

    // The session's injector where there is an X session, else none.
    static std::unique_ptr<KeyInjector> sessionInjector();

    // Connects to the driver (again, if it went away). False with `error` when none listens.
    bool open(QString *error);
    // Sends one key event without waiting for the driver's answer. False with `error` when the
    // driver cannot be reached.
    bool send(const QString &key, bool down, QString *error);
    // The driver's answer to the oldest unanswered event: nothing when it is fine, else what went
    // wrong. A refused key-down is taken back from the session.
    std::optional<QString> waitForAnswer(int timeoutMs = 3000);
    // Reads the answers that have come; what went wrong with each refused event.
    QStringList takeAnswers();

    // The key code a key event reaches the session with; 0 for none (a multimedia key).
    int keyCodeOf(const QString &key) const;

private:
    std::optional<QString> answer(const QByteArray &line);

    QString m_root;
    const KeyboardData &m_data;
    std::unique_ptr<KeyInjector> m_injector;
    QLocalSocket m_socket;
    // Key codes the session got a press of, per unanswered event (0: none), oldest first.
    QList<int> m_pending;
};

} // namespace brevona
