#include "SimKeyboardLink.h"

#include <QRegularExpression>

#include "DisplaySession.h"
#include "KeyInjector.h"
#include "KeyboardData.h"
#include "SimulatedHidBackend.h"

namespace brevona {

SimKeyboardLink::SimKeyboardLink(QString root, const KeyboardData &data,
                                 std::unique_ptr<KeyInjector> injector)
    : m_root(std::move(root))
    , m_data(data)
    , m_injector(std::move(injector))
{}

SimKeyboardLink::~SimKeyboardLink() = default;

std::unique_ptr<KeyInjector> SimKeyboardLink::sessionInjector()
{
    // Without any display nothing is said: the simulated keyboard just has no session to reach.
    if (DisplaySession::current() == DisplaySession::Kind::None)
        return nullptr;
    return KeyInjector::create();
}

bool SimKeyboardLink::open(QString *error)
{
    if (m_socket.state() == QLocalSocket::ConnectedState)
        return true;
    m_socket.abort();
    m_pending.clear();
    m_socket.connectToServer(SimulatedHidBackend::socketPath(m_root));
    if (!m_socket.waitForConnected(3000)) {
        *error = QStringLiteral("no driver is listening on %1 (%2)")
                     .arg(SimulatedHidBackend::socketPath(m_root), m_socket.errorString());
        return false;
    }
    // Connected now, so the first key costs no connection.
    if (m_injector)
        m_injector->isAvailable();
    return true;
}

int SimKeyboardLink::keyCodeOf(const QString &key) const
{
    static const QRegularExpression usageForm(QStringLiteral("^(\\d+):(0[xX][0-9a-fA-F]+|\\d+)$"));
    QString name = key;
    if (const QRegularExpressionMatch usage = usageForm.match(key); usage.hasMatch())
        name = m_data.nameForUsage(usage.captured(1).toInt(), usage.captured(2).toInt(nullptr, 0));
    const KeyboardData::Key *found = m_data.key(name);
    return found ? found->keyCode : 0;
}

bool SimKeyboardLink::send(const QString &key, bool down, QString *error)
{
    if (!open(error))
        return false;
    m_socket.write((down ? QStringLiteral("down ") : QStringLiteral("up ")).toUtf8() + key.toUtf8() + '\n');
    m_socket.flush();
    const int keyCode = m_injector ? keyCodeOf(key) : 0;
    m_pending.append(keyCode != 0 && m_injector->sendKey(keyCode, down) && down ? keyCode : 0);
    return true;
}

std::optional<QString> SimKeyboardLink::answer(const QByteArray &line)
{
    const int pressed = m_pending.isEmpty() ? 0 : m_pending.takeFirst();
    const QString text = QString::fromUtf8(line).trimmed();
    if (text == QLatin1String("ok"))
        return std::nullopt;
    // The keyboard did not take the key down: it must not stay down in the session either.
    if (pressed != 0)
        m_injector->sendKey(pressed, false);
    return text.startsWith(QLatin1String("error ")) ? text.mid(6) : text;
}

std::optional<QString> SimKeyboardLink::waitForAnswer(int timeoutMs)
{
    while (!m_socket.canReadLine()) {
        if (!m_socket.waitForReadyRead(timeoutMs))
            return QStringLiteral("the driver did not answer");
    }
    return answer(m_socket.readLine());
}

QStringList SimKeyboardLink::takeAnswers()
{
    QStringList problems;
    while (m_socket.canReadLine()) {
        if (const auto problem = answer(m_socket.readLine()))
            problems.append(*problem);
    }
    return problems;
}

} // namespace brevona
