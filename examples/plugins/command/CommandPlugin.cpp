// An action plugin that starts the program named by its "command" setting, with the "arguments"
// setting (a list of strings) as its arguments, each time the key is pressed. The program runs
// detached and is never given to a shell, so no setting is ever parsed as shell text.
#include <QProcess>
#include <QStringList>

#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {

class CommandPlugin : public KCPluginProtocol
{
public:
    explicit CommandPlugin(KCPluginButtonProtocol *) {}

    unsigned operations() const override { return SetValueForKey | SetValuesForKeys | KeyActions; }

    void setValue(const QVariant &value, const QString &key) override
    {
        if (key == QLatin1String("command"))
            m_command = value.toString();
        else if (key == QLatin1String("arguments"))
            m_arguments = value.toStringList();
    }

    void onKeyDown() override
    {
        if (!m_command.isEmpty())
            QProcess::startDetached(m_command, m_arguments);
    }

private:
    QString m_command;
    QStringList m_arguments;
};

KCPluginProtocol *createCommand(KCPluginButtonProtocol *button)
{
    return new CommandPlugin(button);
}

} // namespace

BREVONA_PLUGIN_MODULE("BrevonaActionGeneralCommand", nullptr,
                      {{"BrevonaActionGeneralCommand", &createCommand}})
