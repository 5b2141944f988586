#pragma once

#include <optional>

#include <QObject>
#include <QString>
#include <QTimer>

#include "HidBackendBase.h"

class QLocalServer;
class QLocalSocket;

namespace brevona {

// The keyboard's two HID interfaces for a simulated keyboard: a folder stands for the keyboard,
// which counts as plugged in while the folder's "vLumivox" exists. Key presses arrive as lines on
// the local socket "hid.socket" in that folder:
//   down KEY      the key goes down
//   up KEY        it goes up
// KEY is a key name of the usage table (its keyboard-page usage when it has both) or a usage
// written page:usage ("7:0x04", "12:388"). Each line is one input report and is answered with
// "ok" or "error <reason>".
class SimulatedHidBackend : public QObject, public HidBackendBase
{
    Q_OBJECT
public:
    static constexpr int kKeyboardPage = 7;
    static constexpr int kConsumerPage = 12;
    // Usages the simulated interfaces declare: the whole keyboard page, and the consumer
    // control range a typical multimedia collection declares.
    static constexpr int kKeyboardUsages = 0x100;
    static constexpr int kConsumerUsages = 0x400;
    static constexpr int kPollIntervalMs = 200;

    // The interfaces carry the numbers the watcher asks for when it starts matching.
    SimulatedHidBackend(const QString &root, UsageResolver resolver, QObject *parent = nullptr);
    ~SimulatedHidBackend() override;

    static QString socketPath(const QString &root);
    // Sends one line to the simulated keyboard in `root` and waits for its answer. Nothing (with
    // `error` set) when no driver listens there.
    static std::optional<QString> sendLine(const QString &root, const QString &line, QString *error,
                                           int timeoutMs = 3000);

    // Looks at the folder now: plugs or unplugs the interfaces, starts listening.
    void refresh();
    // Handles one protocol line and returns the answer (without the line end).
    QString handleLine(const QString &line);

protected:
    bool armWatching() override;

private:
    void listen();
    void acceptConnections();
    void readLines(QLocalSocket *socket);
    bool isPlugged() const;

    QString m_root;
    UsageResolver m_resolver;
    QLocalServer *m_server = nullptr;
    QTimer m_poll;
    HidEntry m_standardEntry = 0;
    HidEntry m_multimediaEntry = 0;
    bool m_listenFailureLogged = false;
};

} // namespace brevona
